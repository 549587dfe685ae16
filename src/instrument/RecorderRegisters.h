#pragma once
// The recorder as the serial line sees it: Modbus function codes, the frames' sizes, the register
// map and the layout of its blocks. Shared by the instrument link and the recorder simulator.
//
//   function 3, holding registers, 0x2000, 4 registers      device information (not interpreted)
//   function 3, holding registers, 0x1000 + 17 (n - 1), 16  registers 0..15 of channel n's block
//   function 3, holding registers, 0x1010 + 17 (n - 1), 1   register 16 of channel n's block
//   function 4, input registers,   0x7000, 22 registers     live block: clock and 16 raw values
//
// Registers are 16 bits, high byte first on the wire. The picture download uses three frames of
// the recorder's own, 0x41 start, 0x42 block, 0x43 end, each answered by a short acknowledgement.

#include <chrono>
#include <cstdint>

namespace vantiro {

// Data kinds of a read request, and the function code each is read with.
inline constexpr std::int16_t kKindCoils = 0;             // function 1
inline constexpr std::int16_t kKindDiscreteInputs = 1;    // function 2
inline constexpr std::int16_t kKindInputRegisters = 3;    // function 4
inline constexpr std::int16_t kKindHoldingRegisters = 4;  // function 3

inline constexpr std::uint8_t kFunctionReadCoils = 0x01;
inline constexpr std::uint8_t kFunctionReadDiscreteInputs = 0x02;
inline constexpr std::uint8_t kFunctionReadHoldingRegisters = 0x03;
inline constexpr std::uint8_t kFunctionReadInputRegisters = 0x04;
inline constexpr std::uint8_t kFunctionStartDownload = 0x41;
inline constexpr std::uint8_t kFunctionDownloadBlock = 0x42;
inline constexpr std::uint8_t kFunctionEndDownload = 0x43;

// Reads: request address, function, start (2), count (2), CRC (2); reply address, function, byte
// count, data, CRC.
inline constexpr int kReadFrameSize = 8;
inline constexpr int kMaxReadRegisters = 125;
inline constexpr int kMaxReadBits = 2000;
inline constexpr int kMaxReplyByteCount = 250;
constexpr int RegisterReplyLength(int count) { return 2 * count + 5; }
constexpr int BitReplyLength(int count) { return (count + 7) / 8 + 5; }

// Download frames. Start: address, 0x41, picture, six 0xAA, CRC. Block: address, 0x42, sequence
// byte, data, CRC. End: address, 0x43, six 0xAA, CRC. Their CRC goes low byte of Crc16's result
// first. Replies: address, function, picture or sequence byte (start, block), one more byte, CRC in
// Modbus order; the end reply has one byte between function and CRC.
inline constexpr std::uint8_t kDownloadFill = 0xAA;
inline constexpr int kDownloadFillCount = 6;
inline constexpr int kStartFrameSize = 11;
inline constexpr int kEndFrameSize = 10;
inline constexpr int kBlockFrameOverhead = 5;
inline constexpr int kPictureBlockSize = 512;
inline constexpr int kStartReplySize = 6;
inline constexpr int kBlockReplySize = 6;
inline constexpr int kEndReplySize = 5;
// The block acknowledgement is read up to this many times, pausing between the reads.
inline constexpr int kBlockReplyReads = 6;
inline constexpr std::chrono::milliseconds kBlockReplyPause{50};

inline constexpr int kInstrumentChannels = 16;

inline constexpr int kDeviceInfoAddress = 0x2000;
inline constexpr int kDeviceInfoCount = 4;

// Channel configuration: 17 registers per channel, consecutive blocks from 0x1000, read as 16
// registers and then register 16 alone. `index` is the channel number - 1.
inline constexpr int kChannelBlockBase = 0x1000;
inline constexpr int kChannelBlockStride = 17;
inline constexpr int kChannelBlockReadCount = 16;
constexpr int ChannelBlockAddress(int index) {
  return kChannelBlockBase + kChannelBlockStride * index;
}
constexpr int ChannelTailAddress(int index) {
  return ChannelBlockAddress(index) + kChannelBlockReadCount;
}

struct ChannelBlock {
  static constexpr int kScaleCode = 3;
  static constexpr int kUnitCode = 4;
  static constexpr int kLimitHH = 8;  // raw, signed, scaled with the scale code
  static constexpr int kLimitH = 10;
  static constexpr int kLimitL = 12;
  static constexpr int kLimitLL = 14;
};

inline constexpr int kLiveBlockAddress = 0x7000;
inline constexpr int kLiveBlockCount = 22;

struct LiveBlock {
  static constexpr int kYear = 0;  // year - 2000
  static constexpr int kMonth = 1;
  static constexpr int kDay = 2;
  static constexpr int kHour = 3;
  static constexpr int kMinute = 4;
  static constexpr int kSecond = 5;
  static constexpr int kFirstValue = 6;  // raw value of channel k + 1 at kFirstValue + k, signed
};

}  // namespace vantiro
