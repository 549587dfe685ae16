#pragma once
// Modbus RTU over a SerialComCtl: one read (functions 1 to 4) as request frame, reply of exactly
// the expected length, checks and decoding into the caller's array; and the recorder's three
// picture download frames. Consecutive failed reads are counted; the 11th re-opens the port.
//
// The reply checks work on a byte span, so that they can be given any bytes (the fuzz target does).

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "instrument/ErrorText.h"
#include "instrument/TrafficLog.h"
#include "instrument/RecorderRegisters.h"
#include "instrument/SerialComCtl.h"

namespace vantiro {

// The Modbus CRC-16 (reflected polynomial 0xA001, initial 0xFFFF). The high byte of the result is
// the byte a Modbus frame carries first: 01 03 00 00 00 01 gives 0x840A, the frame ends 84 0A.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t count);
inline std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
  return Crc16(bytes.data(), bytes.size());
}

// One read, filled in by the caller.
struct ReadRequest {
  // kKindCoils, kKindDiscreteInputs, kKindInputRegisters or kKindHoldingRegisters.
  std::int16_t kind = 0;
  std::int16_t slave = 0;  // low byte on the wire
  std::int32_t start = 0;  // low 16 bits on the wire
  std::int32_t count = 0;  // registers (at most 125) or bits (at most 2000)
  // `count` elements: int16 per register (kinds 3, 4); one byte, 0 or 1, per bit (kinds 0, 1).
  void* destination = nullptr;
};

// One download exchange, filled in by the caller.
struct DownloadRequest {
  std::int16_t slave = 0;
  std::int16_t picture = 0;            // start frame
  const std::uint8_t* data = nullptr;  // block frame: `length` bytes
  std::int32_t length = 0;
  std::int32_t sequence = 0;  // block frame: low byte sent
};

// The function code a kind is read with; nothing for another kind.
std::optional<std::uint8_t> FunctionCodeOf(int kind);

// Frames as they go on the wire. The read frame of a kind without a function code carries 0.
std::array<std::uint8_t, kReadFrameSize> BuildReadFrame(const ReadRequest& request);
std::vector<std::uint8_t> BuildStartFrame(const DownloadRequest& request);
std::vector<std::uint8_t> BuildBlockFrame(const DownloadRequest& request);  // length + 5 bytes
std::vector<std::uint8_t> BuildEndFrame(const DownloadRequest& request);

// Appends the CRC of `frame` in Modbus order.
void AppendCrc(std::vector<std::uint8_t>& frame);

// A read request as the recorder receives it: 8 bytes with a good CRC.
struct ReadFrame {
  std::uint8_t slave = 0;
  std::uint8_t function = 0;
  std::uint16_t start = 0;
  std::uint16_t count = 0;
};
std::optional<ReadFrame> ParseReadFrame(std::span<const std::uint8_t> frame);

// Replies as the recorder sends them.
std::vector<std::uint8_t> MakeRegisterReply(std::uint8_t slave, std::uint8_t function,
                                            std::span<const std::int16_t> registers);
std::vector<std::uint8_t> MakeBitReply(std::uint8_t slave, std::uint8_t function,
                                       std::span<const std::uint8_t> bits);
std::vector<std::uint8_t> MakeStartReply(std::uint8_t slave, std::uint8_t picture);
std::vector<std::uint8_t> MakeBlockReply(std::uint8_t slave, std::uint8_t sequence);
std::vector<std::uint8_t> MakeEndReply(std::uint8_t slave);

// Reply checks, each test in its order, the first failure giving false with its message. On success
// the registers or bits are in the request's destination; on failure it is untouched. The register
// reply must carry exactly 2 x count bytes, the bit reply exactly the bytes of `count` bits, of
// which exactly `count` are stored.
bool CheckRegisterReply(std::span<const std::uint8_t> reply, const ReadRequest& request,
                        ErrorText errorText);
bool CheckBitReply(std::span<const std::uint8_t> reply, const ReadRequest& request,
                   ErrorText errorText);
bool CheckStartReply(std::span<const std::uint8_t> reply, const DownloadRequest& request,
                     ErrorText errorText);
bool CheckBlockReply(std::span<const std::uint8_t> reply, const DownloadRequest& request,
                     ErrorText errorText);
bool CheckEndReply(std::span<const std::uint8_t> reply, const DownloadRequest& request,
                   ErrorText errorText);

// How the block exchange pauses between its reads; tests pass one that does not sleep.
using SleepFunction = std::function<void(std::chrono::milliseconds)>;

class ModbusRtuProtocol {
 public:
  // An empty `sleep` sleeps the calling thread.
  explicit ModbusRtuProtocol(SleepFunction sleep = {});
  virtual ~ModbusRtuProtocol();
  ModbusRtuProtocol(const ModbusRtuProtocol&) = delete;
  ModbusRtuProtocol& operator=(const ModbusRtuProtocol&) = delete;

  // One read; on true the values are in the request's destination. Whatever the line delivered
  // before the request (a late reply to an earlier one) is thrown away first. Counts failures and
  // re-opens `link` after the 11th in a row (the read still fails), unless the link was closed
  // or aborted since it was opened.
  bool Transact(SerialComCtl& link, const ReadRequest& request, ErrorText errorText);

  // The download exchanges; they neither count failures nor re-open the port.
  bool SendStartFrame(SerialComCtl& link, const DownloadRequest& request, ErrorText errorText);
  bool SendBlockFrame(SerialComCtl& link, const DownloadRequest& request, ErrorText errorText);
  bool SendEndFrame(SerialComCtl& link, const DownloadRequest& request, ErrorText errorText);

  // Where each read's request and reply are logged (the line's traffic); null: nowhere.
  TrafficLog* traffic = &InstrumentTraffic();
  SerialComCtl* link = nullptr;          // port of the exchange in progress
  const ReadRequest* request = nullptr;  // read in progress
  std::int32_t failureCount = 0;         // consecutive failed reads
  std::array<std::uint8_t, 1024> txBuffer{};
  std::array<std::uint8_t, 280> rxBuffer{};

 private:
  // Clears txBuffer, puts `frame` there, throws away unread input and writes the frame whole.
  bool SendFrame(const std::vector<std::uint8_t>& frame, ErrorText errorText);
  // Clears rxBuffer and reads `length` bytes into it.
  bool ReceiveReply(int length, ErrorText errorText);
  // An exchange into the traffic log: the frame, what the last read brought (lastGot_) and
  // whether the reply was accepted.
  void LogExchange(const std::vector<std::uint8_t>& frame, DateTime sentAt, bool ok, ErrorText errorText);
  std::int32_t lastGot_ = 0;  // bytes the last ReceiveReply read

  SleepFunction sleep_;
};

}  // namespace vantiro
