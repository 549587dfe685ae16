#pragma once
// The OEM picture download without a window: read the picture file, open the port, send the start
// frame, the picture in 512-byte blocks and the end frame, close the port, and tell the outcome.
// The download dialog runs it on a worker thread; vantiro-monitor --download runs it directly.

#include <cstdint>
#include <functional>
#include <string>

namespace vantiro {

class ModbusRtuImpl;

inline constexpr const char* kDownloadSucceededText = "下装成功!";
inline constexpr const char* kDownloadFailedText = "下装失败!";
inline constexpr const char* kReadPictureFailedText = "读取文件失败!";
inline constexpr const char* kDownloadOpenFailedText = "串口初始化失败!";

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

 private:
  ModbusRtuImpl& instrument_;
};

// How far the download is: `maximum` is 0 until the picture is read, then the number of blocks
// + 2; `position` advances by one for the start frame, each block and the end frame.
using DownloadProgress = std::function<void(int position, int maximum)>;

struct DownloadOutcome {
  bool succeeded = false;
  std::string text;  // one of the four texts above
};

// Downloads the picture of `path` into picture number `picture` (0 … 5 for the slots "1" … "6"):
// opens the port (failure: "串口初始化失败!"), reads the file (unreadable or no byte:
// "读取文件失败!"), pads the picture with zeros to a multiple of 512, sends the start frame, each
// block with its number as the sequence (up to 10 attempts each), the end frame (any of them not
// acknowledged: "下装失败!", nothing more sent), and closes the port whenever it was opened.
DownloadOutcome DownloadPicture(DownloadPort& port, const std::string& path, int picture,
                                const DownloadProgress& progress = {});

}  // namespace vantiro
