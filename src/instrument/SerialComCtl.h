#pragma once
// The program's only door to the serial line: opens one port of the serial library with the line
// parameters of the communication settings, keeps them for a re-open, and moves byte blocks with
// small bounded retry loops. Failures come back as the result plus a message in `errorText`.

#include <atomic>
#include <cstdint>
#include <string>

#include "instrument/ErrorText.h"
#include "instrument/SerialLibrary.h"

namespace vantiro {

class SerialComCtl {
 public:
  explicit SerialComCtl(SerialLibrary& library = SystemSerialLibrary());
  virtual ~SerialComCtl();  // closes the port
  SerialComCtl(const SerialComCtl&) = delete;
  SerialComCtl& operator=(const SerialComCtl&) = delete;

  // Opens `port` and sets the read time-outs (60 ms, 30 ms between bytes) and the line parameters.
  // A line-parameter result of "bad parameter" still counts as success (with "bad parm!").
  bool Open(std::int32_t port, std::int32_t baudRate, std::uint8_t stopBits, std::uint8_t dataBits,
            std::uint8_t parity, ErrorText errorText);
  // Closes `port` through the library (also when it is -1); `port` keeps its value. Always true.
  // May be called from another thread while an exchange runs: its transfer is ended at once
  // (result "aborted") and the port is closed after that transfer has returned.
  bool Close();
  // Ends the exchange in progress, from any thread: its transfer returns at once, and so does
  // every later one until the port is opened again ("User abort blocked write!").
  void Abort();
  // The exchanges since the last Open were ended by Abort or Close (or the library reported an
  // aborted transfer): the frame layer does not re-open such a port, which would undo the stop.
  bool Stopped() const { return stopped_.load(); }
  // How many reads of the library a reply may take (50, three seconds at most of silence); a line
  // shared by several recorders asks its further ones for fewer, so that a silent one does not
  // hold the others back.
  void SetReadCalls(int calls) { readCalls_ = calls > 0 ? calls : kDefaultReadCalls; }
  static constexpr int kDefaultReadCalls = 50;
  SerialLibrary& Library() const { return library_; }
  // Why the last Open failed, in Chinese words for the user (the detail of the message
  // "串口初始化失败!"): the library's account (the device, the system's reason, what to do: join
  // the group that may use the device, ask for access, close the program that holds the port,
  // ...), else what Open itself found (no port chosen, a setting it cannot use, the library's
  // code). Empty after a successful Open.
  const std::string& OpenFailureDetail() const { return openFailureDetail_; }
  // Close, then Open with the stored port and line parameters.
  bool Reopen(ErrorText errorText);
  // At most 5 library writes; an error code restarts the block from its first byte. The bytes
  // written (callers treat anything but `length` as failure); 0 when never opened.
  std::int32_t Write(const std::uint8_t* data, std::int32_t length, ErrorText errorText);
  // Library reads until `length` bytes are there, a negative code, or the 50th call. The bytes
  // read.
  std::int32_t Read(std::uint8_t* buffer, std::int32_t length, ErrorText errorText);
  // Throws away what has arrived and not been read: a reply that came too late for its own
  // request must not be taken for the answer to the next one. Nothing when never opened.
  void DiscardInput();

  std::int32_t port = -1;  // set once the library's open succeeds; -1 before
  int readCalls_ = kDefaultReadCalls;
  std::int32_t baudRate = 0;
  std::uint8_t parity = 0;  // 0 none, 1 odd, 2 even
  std::uint8_t dataBits = 0;
  std::uint8_t stopBits = 0;

 private:
  SerialLibrary& library_;
  std::atomic<bool> stopped_{false};
  std::string openFailureDetail_;
};

}  // namespace vantiro
