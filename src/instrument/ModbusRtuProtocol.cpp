#include "instrument/ModbusRtuProtocol.h"

#include <cstring>

#include <algorithm>
#include <string_view>
#include <thread>

namespace vantiro {
namespace {

constexpr std::string_view kBadKindText = "无效包类型";
constexpr std::string_view kShortReplyText = "返回字符个数不正确!";
constexpr std::string_view kBadCrcText = "CRC校验不正确!";
constexpr std::string_view kBadAddressText = "返回包的设备地址不正确";
constexpr std::string_view kBadFunctionText = "返回包的功能码不正确";
constexpr std::string_view kBadByteCountText = "返回包的字节个数不正确";
constexpr std::string_view kBadSequenceText = "返回包的帧不对应";

constexpr int kFailuresBeforeReopen = 10;

// The two lookup tables of the byte-wise CRC: for each index, the byte that becomes the frame's
// first CRC byte (the CRC register's low byte) and the one that becomes its second.
struct CrcTables {
  std::array<std::uint8_t, 256> first{};
  std::array<std::uint8_t, 256> second{};
};

constexpr CrcTables MakeCrcTables() {
  CrcTables tables;
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xA001u : crc >> 1;
    tables.first[i] = static_cast<std::uint8_t>(crc & 0xFF);
    tables.second[i] = static_cast<std::uint8_t>(crc >> 8);
  }
  return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

std::uint8_t LowByte(int value) { return static_cast<std::uint8_t>(value & 0xFF); }

// The download frames carry their CRC low byte of Crc16's result first.
void AppendDownloadCrc(std::vector<std::uint8_t>& frame) {
  const std::uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

// The CRC of all bytes but the last two equals the last two, in Modbus order (`reply` has 2 or
// more bytes).
bool HasGoodCrc(std::span<const std::uint8_t> reply) {
  const std::size_t body = reply.size() - 2;
  const std::uint16_t crc = Crc16(reply.data(), body);
  return reply[body] == (crc >> 8) && reply[body + 1] == (crc & 0xFF);
}

// The tests every reply starts with: its length, its CRC, the slave address and the function code.
bool CheckReplyHead(std::span<const std::uint8_t> reply, std::size_t minimumLength,
                    std::int16_t slave, std::optional<std::uint8_t> function, ErrorText errorText) {
  if (reply.size() < minimumLength) {
    SetErrorText(errorText, kShortReplyText);
    return false;
  }
  if (!HasGoodCrc(reply)) {
    SetErrorText(errorText, kBadCrcText);
    return false;
  }
  if (reply[0] != LowByte(slave)) {
    SetErrorText(errorText, kBadAddressText);
    return false;
  }
  if (!function || reply[1] != *function) {
    SetErrorText(errorText, kBadFunctionText);
    return false;
  }
  return true;
}

// A download reply is exactly `length` bytes long (the exchange reads no more and no less).
bool CheckDownloadReplyHead(std::span<const std::uint8_t> reply, std::size_t length,
                            std::int16_t slave, std::uint8_t function, ErrorText errorText) {
  if (reply.size() != length) {
    SetErrorText(errorText, kShortReplyText);
    return false;
  }
  return CheckReplyHead(reply, length, slave, function, errorText);
}

bool IsRegisterKind(int kind) {
  return kind == kKindInputRegisters || kind == kKindHoldingRegisters;
}

// The largest count a read of `kind` may ask for: its reply must fit rxBuffer and pass the checks.
int MaxCount(int kind) { return IsRegisterKind(kind) ? kMaxReadRegisters : kMaxReadBits; }

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t count) {
  std::uint8_t first = 0xFF;
  std::uint8_t second = 0xFF;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t index = first ^ data[i];
    first = second ^ kCrcTables.first[index];
    second = kCrcTables.second[index];
  }
  return static_cast<std::uint16_t>(first << 8 | second);
}

std::optional<std::uint8_t> FunctionCodeOf(int kind) {
  switch (kind) {
    case kKindCoils: return kFunctionReadCoils;
    case kKindDiscreteInputs: return kFunctionReadDiscreteInputs;
    case kKindInputRegisters: return kFunctionReadInputRegisters;
    case kKindHoldingRegisters: return kFunctionReadHoldingRegisters;
    default: return std::nullopt;
  }
}

void AppendCrc(std::vector<std::uint8_t>& frame) {
  const std::uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
}

std::array<std::uint8_t, kReadFrameSize> BuildReadFrame(const ReadRequest& request) {
  std::array<std::uint8_t, kReadFrameSize> frame{
      LowByte(request.slave),      FunctionCodeOf(request.kind).value_or(0),
      LowByte(request.start >> 8), LowByte(request.start),
      LowByte(request.count >> 8), LowByte(request.count),
  };
  const std::uint16_t crc = Crc16(frame.data(), 6);
  frame[6] = static_cast<std::uint8_t>(crc >> 8);
  frame[7] = static_cast<std::uint8_t>(crc & 0xFF);
  return frame;
}

std::vector<std::uint8_t> BuildStartFrame(const DownloadRequest& request) {
  std::vector<std::uint8_t> frame(3 + kDownloadFillCount, kDownloadFill);
  frame[0] = LowByte(request.slave);
  frame[1] = kFunctionStartDownload;
  frame[2] = LowByte(request.picture);
  AppendDownloadCrc(frame);
  return frame;
}

std::vector<std::uint8_t> BuildBlockFrame(const DownloadRequest& request) {
  const std::size_t length =
      request.data != nullptr && request.length > 0 ? static_cast<std::size_t>(request.length) : 0;
  std::vector<std::uint8_t> frame(3 + length);
  frame[0] = LowByte(request.slave);
  frame[1] = kFunctionDownloadBlock;
  frame[2] = LowByte(request.sequence);
  if (length > 0) std::copy(request.data, request.data + length, frame.begin() + 3);
  AppendDownloadCrc(frame);
  return frame;
}

std::vector<std::uint8_t> BuildEndFrame(const DownloadRequest& request) {
  std::vector<std::uint8_t> frame(2 + kDownloadFillCount, kDownloadFill);
  frame[0] = LowByte(request.slave);
  frame[1] = kFunctionEndDownload;
  AppendDownloadCrc(frame);
  return frame;
}

std::optional<ReadFrame> ParseReadFrame(std::span<const std::uint8_t> frame) {
  if (frame.size() != kReadFrameSize || !HasGoodCrc(frame)) return std::nullopt;
  return ReadFrame{frame[0], frame[1], static_cast<std::uint16_t>(frame[2] << 8 | frame[3]),
                   static_cast<std::uint16_t>(frame[4] << 8 | frame[5])};
}

std::vector<std::uint8_t> MakeRegisterReply(std::uint8_t slave, std::uint8_t function,
                                            std::span<const std::int16_t> registers) {
  std::vector<std::uint8_t> reply{slave, function, LowByte(static_cast<int>(registers.size()) * 2)};
  for (const std::int16_t value : registers) {
    const auto bits = static_cast<std::uint16_t>(value);
    reply.push_back(static_cast<std::uint8_t>(bits >> 8));
    reply.push_back(static_cast<std::uint8_t>(bits & 0xFF));
  }
  AppendCrc(reply);
  return reply;
}

std::vector<std::uint8_t> MakeBitReply(std::uint8_t slave, std::uint8_t function,
                                       std::span<const std::uint8_t> bits) {
  const std::size_t bytes = (bits.size() + 7) / 8;
  std::vector<std::uint8_t> reply(3 + bytes, 0);
  reply[0] = slave;
  reply[1] = function;
  reply[2] = LowByte(static_cast<int>(bytes));
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] != 0) reply[3 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  }
  AppendCrc(reply);
  return reply;
}

std::vector<std::uint8_t> MakeStartReply(std::uint8_t slave, std::uint8_t picture) {
  std::vector<std::uint8_t> reply{slave, kFunctionStartDownload, picture, 0};
  AppendCrc(reply);
  return reply;
}

std::vector<std::uint8_t> MakeBlockReply(std::uint8_t slave, std::uint8_t sequence) {
  std::vector<std::uint8_t> reply{slave, kFunctionDownloadBlock, sequence, 0};
  AppendCrc(reply);
  return reply;
}

std::vector<std::uint8_t> MakeEndReply(std::uint8_t slave) {
  std::vector<std::uint8_t> reply{slave, kFunctionEndDownload, 0};
  AppendCrc(reply);
  return reply;
}

bool CheckRegisterReply(std::span<const std::uint8_t> reply, const ReadRequest& request,
                        ErrorText errorText) {
  if (!CheckReplyHead(reply, 7, request.slave, FunctionCodeOf(request.kind), errorText)) {
    return false;
  }
  // The byte count must be what was asked for and what arrived: a reply may neither write more
  // registers than the destination holds nor make the decoding read past its end.
  const std::size_t byteCount = reply[2];
  if (byteCount > kMaxReplyByteCount || byteCount % 2 != 0 ||
      static_cast<std::int64_t>(byteCount) != 2 * static_cast<std::int64_t>(request.count) ||
      reply.size() != byteCount + 5) {
    SetErrorText(errorText, kBadByteCountText);
    return false;
  }
  auto* destination = static_cast<std::int16_t*>(request.destination);
  for (std::size_t i = 0; i < byteCount / 2; ++i) {
    destination[i] = static_cast<std::int16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
  }
  return true;
}

bool CheckBitReply(std::span<const std::uint8_t> reply, const ReadRequest& request,
                   ErrorText errorText) {
  if (!CheckReplyHead(reply, 6, request.slave, FunctionCodeOf(request.kind), errorText)) {
    return false;
  }
  const std::size_t bits = (reply.size() - 5) * 8;
  const std::size_t byteCount = reply[2];
  if (bits > kMaxReadBits || byteCount * 8 != bits || request.count < 0 ||
      byteCount != (static_cast<std::size_t>(request.count) + 7) / 8) {
    SetErrorText(errorText, kBadByteCountText);
    return false;
  }
  // Exactly the bits asked for; the padding bits of the last byte are not stored.
  auto* destination = static_cast<std::uint8_t*>(request.destination);
  for (std::size_t i = 0; i < static_cast<std::size_t>(request.count); ++i) {
    destination[i] = static_cast<std::uint8_t>((reply[3 + i / 8] >> (i % 8)) & 1u);
  }
  return true;
}

bool CheckStartReply(std::span<const std::uint8_t> reply, const DownloadRequest& request,
                     ErrorText errorText) {
  if (!CheckDownloadReplyHead(reply, kStartReplySize, request.slave, kFunctionStartDownload,
                              errorText)) {
    return false;
  }
  if (reply[2] != LowByte(request.picture)) {
    SetErrorText(errorText, kBadFunctionText);
    return false;
  }
  return true;
}

bool CheckBlockReply(std::span<const std::uint8_t> reply, const DownloadRequest& request,
                     ErrorText errorText) {
  if (!CheckDownloadReplyHead(reply, kBlockReplySize, request.slave, kFunctionDownloadBlock,
                              errorText)) {
    return false;
  }
  if (reply[2] != LowByte(request.sequence)) {
    SetErrorText(errorText, kBadSequenceText);
    return false;
  }
  return true;
}

bool CheckEndReply(std::span<const std::uint8_t> reply, const DownloadRequest& request,
                   ErrorText errorText) {
  return CheckDownloadReplyHead(reply, kEndReplySize, request.slave, kFunctionEndDownload,
                                errorText);
}

ModbusRtuProtocol::ModbusRtuProtocol(SleepFunction sleep) : sleep_(std::move(sleep)) {
  if (!sleep_) sleep_ = [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); };
}

ModbusRtuProtocol::~ModbusRtuProtocol() = default;

bool ModbusRtuProtocol::Transact(SerialComCtl& link, const ReadRequest& request,
                                 ErrorText errorText) {
  this->link = &link;
  this->request = &request;
  bool ok = false;
  if (!FunctionCodeOf(request.kind) || request.count < 0 ||
      request.count > MaxCount(request.kind)) {
    // A kind without a function code, or a count whose reply could never be accepted: nothing is
    // sent.
    SetErrorText(errorText, kBadKindText);
  } else {
    const std::array<std::uint8_t, kReadFrameSize> frame = BuildReadFrame(request);
    std::copy(frame.begin(), frame.end(), txBuffer.begin());
    link.DiscardInput();  // the reply read below belongs to this request, nothing earlier
    const DateTime sentAt = TrafficNow();
    if (link.Write(txBuffer.data(), kReadFrameSize, errorText) == kReadFrameSize) {
      const bool registers = IsRegisterKind(request.kind);
      const int length =
          registers ? RegisterReplyLength(request.count) : BitReplyLength(request.count);
      const std::int32_t got = link.Read(rxBuffer.data(), length, errorText);
      if (got == length) {
        const std::span<const std::uint8_t> reply(rxBuffer.data(),
                                                  static_cast<std::size_t>(length));
        ok = registers ? CheckRegisterReply(reply, request, errorText)
                       : CheckBitReply(reply, request, errorText);
      }
      lastGot_ = std::min<std::int32_t>(got, length);
      LogExchange(std::vector<std::uint8_t>(frame.begin(), frame.end()), sentAt, ok, errorText);
    }
  }
  if (ok) {
    failureCount = 0;
  } else if (++failureCount > kFailuresBeforeReopen) {
    failureCount = 0;
    // A port its owner closed or aborted stays so: re-opening it would undo that.
    if (!link.Stopped()) link.Reopen(errorText);
  }
  return ok;
}

bool ModbusRtuProtocol::SendFrame(const std::vector<std::uint8_t>& frame, ErrorText errorText) {
  txBuffer.fill(0);
  std::copy(frame.begin(), frame.end(), txBuffer.begin());
  const auto length = static_cast<std::int32_t>(frame.size());
  link->DiscardInput();
  return link->Write(txBuffer.data(), length, errorText) == length;
}

bool ModbusRtuProtocol::ReceiveReply(int length, ErrorText errorText) {
  rxBuffer.fill(0);
  lastGot_ = link->Read(rxBuffer.data(), length, errorText);
  return lastGot_ == length;
}

void ModbusRtuProtocol::LogExchange(const std::vector<std::uint8_t>& frame, DateTime sentAt, bool ok,
                                    ErrorText errorText) {
  if (!traffic) return;
  TrafficEntry entry;
  entry.time = sentAt;
  entry.request = frame;
  const auto got = static_cast<std::size_t>(std::clamp<std::int32_t>(lastGot_, 0, static_cast<std::int32_t>(rxBuffer.size())));
  entry.reply.assign(rxBuffer.begin(), rxBuffer.begin() + static_cast<long>(got));
  std::string why(errorText.data(), strnlen(errorText.data(), errorText.size()));
  while (!why.empty() && (why.front() == ':' || why.front() == ' ')) why.erase(0, 1);  // ": 读写超时"
  entry.outcome = ok ? "应答" : (why.empty() ? (got > 0 ? "应答不完整" : "无应答") : why);
  traffic->Add(std::move(entry));
}

bool ModbusRtuProtocol::SendStartFrame(SerialComCtl& link, const DownloadRequest& request,
                                       ErrorText errorText) {
  this->link = &link;
  const std::vector<std::uint8_t> frame = BuildStartFrame(request);
  const DateTime sentAt = TrafficNow();
  lastGot_ = 0;
  if (!SendFrame(frame, errorText)) return false;
  const bool ok = ReceiveReply(kStartReplySize, errorText) &&
                  CheckStartReply(std::span(rxBuffer.data(), kStartReplySize), request, errorText);
  LogExchange(frame, sentAt, ok, errorText);
  return ok;
}

bool ModbusRtuProtocol::SendBlockFrame(SerialComCtl& link, const DownloadRequest& request,
                                       ErrorText errorText) {
  this->link = &link;
  const std::int32_t room = static_cast<std::int32_t>(txBuffer.size()) - kBlockFrameOverhead;
  if (request.length < 0 || request.length > room ||
      (request.length > 0 && request.data == nullptr)) {
    SetErrorText(errorText, kBadKindText);  // a block that no frame can carry
    return false;
  }
  const std::vector<std::uint8_t> frame = BuildBlockFrame(request);
  const DateTime sentAt = TrafficNow();
  lastGot_ = 0;
  if (!SendFrame(frame, errorText)) return false;
  for (int read = 1; !ReceiveReply(kBlockReplySize, errorText); ++read) {
    // An aborted or closed port answers no more: no pause and no further read.
    if (read == kBlockReplyReads || link.Stopped()) {
      LogExchange(frame, sentAt, false, errorText);
      return false;
    }
    sleep_(kBlockReplyPause);
  }
  const bool ok = CheckBlockReply(std::span(rxBuffer.data(), kBlockReplySize), request, errorText);
  LogExchange(frame, sentAt, ok, errorText);
  return ok;
}

bool ModbusRtuProtocol::SendEndFrame(SerialComCtl& link, const DownloadRequest& request,
                                     ErrorText errorText) {
  this->link = &link;
  const std::vector<std::uint8_t> frame = BuildEndFrame(request);
  const DateTime sentAt = TrafficNow();
  lastGot_ = 0;
  if (!SendFrame(frame, errorText)) return false;
  const bool ok = ReceiveReply(kEndReplySize, errorText) &&
                  CheckEndReply(std::span(rxBuffer.data(), kEndReplySize), request, errorText);
  LogExchange(frame, sentAt, ok, errorText);
  return ok;
}

}  // namespace vantiro
