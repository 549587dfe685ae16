#pragma once
// The OEM picture download without a window: read the picture file, open the port, send the start
// frame, the picture in 512-byte blocks and the end frame, close the port, and tell the outcome.
// The download dialog runs it on a worker thread; vantiro-monitor --download runs it directly and
// stops it on SIGINT or SIGTERM.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace vantiro {

class ModbusRtuImpl;

inline constexpr const char* kDownloadSucceededText = "下装成功!";
inline constexpr const char* kDownloadFailedText = "下装失败!";
inline constexpr const char* kReadPictureFailedText = "读取文件失败!";
inline constexpr const char* kDownloadOpenFailedText = "串口初始化失败!";
inline constexpr const char* kDownloadStoppedText = "下装已中止!";

inline constexpr int kPictureSlots = 6;    // slots "1" … "6", picture numbers 0 … 5
inline constexpr int kBlockAttempts = 10;  // tries per block before the download fails

// The port operations the download uses; DownloadOverInstrument is the real one.
class DownloadPort {
 public:
  virtual ~DownloadPort() = default;
  virtual bool Open() = 0;
  virtual bool Start(int picture) = 0;
  virtual bool Block(const std::uint8_t* data, std::int32_t length, std::int32_t sequence) = 0;
  virtual bool Finish() = 0;
  virtual void Close() = 0;
  // Ends the exchange in progress at once, from any thread (it fails), and every later one until
  // the port is opened again.
  virtual void Abort() {}
};

// Over an instrument link (the settings in commSettings; failure texts in lastErrorText); keeps
// linkOpen.
class DownloadOverInstrument : public DownloadPort {
 public:
  explicit DownloadOverInstrument(ModbusRtuImpl& instrument) : instrument_(instrument) {}
  bool Open() override;
  bool Start(int picture) override;
  bool Block(const std::uint8_t* data, std::int32_t length, std::int32_t sequence) override;
  bool Finish() override;
  void Close() override;
  void Abort() override;

 private:
  ModbusRtuImpl& instrument_;
};

// How far the download is: `maximum` is 0 until the picture is read, then the number of blocks
// + 2; `position` advances by one for the start frame, each block and the end frame.
using DownloadProgress = std::function<void(int position, int maximum)>;

struct DownloadOutcome {
  bool succeeded = false;
  bool stopped = false;  // ended by a stop request ("下装已中止!")
  std::string text;      // one of the texts above
};

// Downloads the picture of `path` into picture number `picture` (0 … 5 for the slots "1" … "6"):
// opens the port (failure: "串口初始化失败!"), reads the file (unreadable or no byte:
// "读取文件失败!"), pads the picture with zeros to a multiple of 512, sends the start frame, each
// block with its number as the sequence (up to 10 attempts each), the end frame (any of them not
// acknowledged: "下装失败!", nothing more sent), and closes the port whenever it was opened.
//
// A stop request through `stop` ends it within moments: it is looked at before each frame and
// each block attempt, and it aborts the exchange in progress (an acknowledgement waited for, a
// pause between its reads). Nothing more is sent, the port is closed, and the outcome is
// "下装已中止!" unless the end frame had already been acknowledged.
DownloadOutcome DownloadPicture(DownloadPort& port, const std::string& path, int picture,
                                const DownloadProgress& progress = {},
                                std::stop_token stop = {});

}  // namespace vantiro
