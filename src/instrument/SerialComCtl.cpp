#include "instrument/SerialComCtl.h"

#include <optional>
#include <string_view>

namespace vantiro {
namespace {

constexpr int kWriteAttempts = 5;

// The message of a transfer's error code; nothing for the codes that carry none.
std::optional<std::string_view> TransferMessage(int code) {
  switch (code) {
    case kSerialTimeout: return "Write timeout happened!";
    case kSerialAborted: return "User abort blocked write!";
    case kSerialBadParameter: return "Bad parameter!";
    case kSerialNotOpen: return "Port is not opened in advance!";
    default: return std::nullopt;
  }
}

std::optional<std::string_view> OpenMessage(int code) {
  switch (code) {
    case kSerialSystemFailure: return "call win32 function fail, please call!";
    case kSerialPortBusy: return "no such port or port has be opened!";
    case kSerialNotOpen: return "no such port or port not opened!";
    default: return std::nullopt;
  }
}

// The detail of a refused open when the library gives none: its result code in words.
std::string OpenRefusedDetail(std::int32_t port, int code) {
  if (port < 1) return "未选择通信口：请在“实时通信设置”中选择通信口（COM1 至 COM16）。";
  const std::string name = "通信口 COM" + std::to_string(port);
  switch (code) {
    case kSerialSystemFailure: return "打开" + name + "时系统调用失败。";
    case kSerialPortBusy: return name + "不存在或已被占用。";
    case kSerialNotOpen: return name + "不存在或无法打开。";
    default: return "串口库拒绝打开" + name + "（错误码 " + std::to_string(code) + "）。";
  }
}

}  // namespace

SerialComCtl::SerialComCtl(SerialLibrary& library) : library_(library) {}

SerialComCtl::~SerialComCtl() { Close(); }

bool SerialComCtl::Open(std::int32_t port, std::int32_t baudRate, std::uint8_t stopBits,
                        std::uint8_t dataBits, std::uint8_t parity, ErrorText errorText) {
  stopped_ = false;
  openFailureDetail_.clear();
  if (const int result = library_.Open(port); result != kSerialOk) {
    const auto message = OpenMessage(result);
    if (message) SetErrorText(errorText, *message);
    openFailureDetail_ = library_.FailureDetail();
    if (openFailureDetail_.empty()) openFailureDetail_ = OpenRefusedDetail(port, result);
    return false;
  }
  this->port = port;
  library_.SetReadTimeouts(port, kReadTotalTimeoutMs, kReadIntervalTimeoutMs);
  // Stored before they are checked, so that Reopen repeats exactly this request.
  this->baudRate = baudRate;
  this->parity = parity;
  this->dataBits = dataBits;
  this->stopBits = stopBits;

  const auto refuse = [&](std::string_view message, const std::string& detail) {
    SetErrorText(errorText, message);
    openFailureDetail_ = "通信参数不可用：" + detail;
    Close();
    return false;
  };
  const std::optional<std::uint8_t> dataCode = DataBitsCode(dataBits);
  if (!dataCode) {
    return refuse("no defined databits!",
                  "数据位须为 5、6、7 或 8，现为 " + std::to_string(dataBits) + "。");
  }
  const std::optional<std::uint8_t> stopCode = StopBitsCode(stopBits);
  if (!stopCode) {
    return refuse("no defined stopits!", "停止位须为 1 或 2，现为 " + std::to_string(stopBits) + "。");
  }
  const std::optional<std::uint8_t> parityCode = ParityCode(parity);
  if (!parityCode) {
    return refuse("no defined Paritys!",
                  "校验须为无校验、奇校验或偶校验，现为 " + std::to_string(parity) + "。");
  }
  const std::optional<int> baudCode = BaudCode(baudRate);
  if (!baudCode) {
    return refuse("no defined baudrate!",
                  "不支持波特率 " + std::to_string(baudRate) +
                      "（可选 1200、2400、9600、19200、38400、57600、115200）。");
  }

  const int mode = *dataCode | *stopCode | *parityCode;
  const int result = library_.SetLineParameters(port, *baudCode, mode);
  if (result == kSerialOk) return true;
  if (result == kSerialBadParameter) {
    // The port stays open with whatever line parameters it had.
    SetErrorText(errorText, "bad parm!");
    return true;
  }
  openFailureDetail_ = library_.FailureDetail();
  if (openFailureDetail_.empty()) {
    openFailureDetail_ = "无法设置通信口 COM" + std::to_string(port) + " 的通信参数（错误码 " +
                         std::to_string(result) + "）。";
  }
  Close();
  return false;
}

bool SerialComCtl::Close() {
  stopped_ = true;
  library_.Close(port);
  return true;
}

void SerialComCtl::Abort() {
  stopped_ = true;
  library_.Abort(port);
}

void SerialComCtl::DiscardInput() {
  if (port != -1) library_.DiscardInput(port);
}

bool SerialComCtl::Reopen(ErrorText errorText) {
  Close();
  return Open(port, baudRate, stopBits, dataBits, parity, errorText);
}

std::int32_t SerialComCtl::Write(const std::uint8_t* data, std::int32_t length,
                                 ErrorText errorText) {
  if (port == -1) {
    SetErrorText(errorText, "串口未打开!");
    return 0;
  }
  // A library never takes or delivers more than asked; should one, the count stops at the block's
  // end (here and in Read).
  std::int32_t written = 0;
  for (int attempt = 0; attempt < kWriteAttempts && written < length; ++attempt) {
    const int result = library_.Write(port, data + written, length - written);
    if (result >= 0) {
      written += result < length - written ? result : length - written;
    } else if (const auto message = TransferMessage(result)) {
      if (result == kSerialAborted) stopped_ = true;
      SetErrorText(errorText, *message);
      written = 0;  // the next attempt sends the whole block again
    }
  }
  return written;
}

std::int32_t SerialComCtl::Read(std::uint8_t* buffer, std::int32_t length, ErrorText errorText) {
  if (port == -1) return 0;
  std::int32_t got = 0;
  int calls = 0;
  while (got < length) {
    const int result = library_.Read(port, buffer + got, length - got);
    if (result < 0) {
      if (result == kSerialAborted) stopped_ = true;
      if (const auto message = TransferMessage(result)) {
        SetErrorText(errorText, *message);
        return 0;
      }
      return got;
    }
    got += result < length - got ? result : length - got;
    if (++calls == readCalls_) break;
  }
  if (got != length) SetErrorText(errorText, ": 读写超时");
  return got;
}

}  // namespace vantiro
