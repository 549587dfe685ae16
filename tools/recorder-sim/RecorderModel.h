#pragma once
// recorder-sim's recorder: what it answers to each request frame, without any I/O. The serial side
// (a pseudo-terminal) lives in PtyRecorder.h.
//
// The recorder has 16 channels, each with a scale code, a unit code and four raw alarm limits. Its
// live values move on a slow sine around the middle of the HH..LL band, a little wider than the
// band, so that every channel crosses all four of its limits once per period; channel k lags
// channel 1 by k/16 of the period.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/RecorderRegisters.h"

namespace vantiro::sim {

struct ChannelSetup {
  std::int16_t scaleCode = 3;  // 3: one decimal
  std::int16_t unitCode = 19;  // ℃
  std::int16_t limitHH = 900;  // raw
  std::int16_t limitH = 800;
  std::int16_t limitL = 200;
  std::int16_t limitLL = 100;
  friend bool operator==(const ChannelSetup&, const ChannelSetup&) = default;
};
using ChannelTable = std::array<ChannelSetup, kInstrumentChannels>;

// Scale 3 and the limits above for every channel; the units go round ℃, mA, %, Kpa, V, Hz, m3/h,
// r/min.
ChannelTable DefaultChannels();

// Reads lines "n scale unit HH H L LL" (channel 1..16, then raw integers) into `table`; '#' starts
// a comment, blank lines are skipped, channels without a line keep their entry. False with a
// message naming the line for anything else.
bool ParseChannelTable(std::string_view text, ChannelTable& table, std::string& error);

inline constexpr double kMotionPeriodSeconds = 60.0;

// The raw live value of channel `index` (0..15) `seconds` into the motion.
std::int16_t MotionValue(const ChannelSetup& channel, int index, double seconds);

// The device-information registers (0x2000..0x2003): channel count, firmware version 1.00, the
// recorder's address, 0.
std::array<std::int16_t, kDeviceInfoCount> DeviceInfo(std::uint8_t address);

struct SimOptions {
  std::uint8_t address = 1;
  std::string link;           // symlink to create to the device, or empty
  std::string channelsFile;   // channel table, or empty for the defaults
  std::string pictureOut;     // where a finished picture download goes, or empty
  bool silent = false;        // never answers
  double muteFrom = 0.0;      // answers nothing from muteFrom seconds after the start...
  double muteFor = 0.0;       // ...for this many seconds (0: never mute)
  int badCrcEvery = 0;        // every K-th reply with a wrong CRC; 0 never
  bool wrongAddress = false;  // replies carry address + 1
  int delayMs = 0;            // before each reply (only the stallAt-th one when that is set)
  int stallAt = 0;            // the only reply that waits delayMs; 0: every reply waits
  int dropEvery = 0;          // every K-th request addressed here goes unanswered; 0 never
  int refuseBlock = 0;  // the N-th block frame of a download gets a wrong sequence byte; 0 never
  std::optional<double> freezeSeconds;  // values held where the motion is at that moment
  bool exitOnEof = false;               // ends when standard input closes
  // Further recorders on the same line (--address 1,2,3): their addresses, and the channel table
  // of each recorder in address order (--channels A,B,C; one file for all when only one is given).
  std::vector<std::uint8_t> moreAddresses;
  std::vector<std::string> moreChannelsFiles;
  // A gateway on the loopback address instead of the terminal: --tcp PORT passes the RTU frames
  // through, --modbus-tcp PORT speaks Modbus TCP; port 0 takes a free one.
  int tcpPort = -1;
  bool modbusTcp = false;
  bool closeMidReply = false;  // the gateway closes the connection halfway through each reply
};

inline constexpr const char* kSimUsage =
    "usage: recorder-sim [--address N] [--link PATH] [--channels FILE] [--picture-out PATH] "
    "[--silent] [--mute FROM:SECONDS] [--bad-crc K] [--wrong-address] [--delay MS] [--stall K] [--drop K] "
    "[--refuse-block N] [--tcp PORT | --modbus-tcp PORT] [--close-mid-reply] "
    "[--freeze SECONDS] [--exit-on-eof] [--help]";

// The options of `args`; nothing with a message in `error` for a usage error. `help` is set for
// --help.
std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args, bool& help,
                                          std::string& error);

// The moment a reply is made for.
struct Moment {
  std::array<std::uint16_t, 6> clock{};  // year - 2000, month, day, hour, minute, second
  double motionSeconds = 0.0;            // where the live values are in their motion
  double elapsedSeconds = 0.0;           // since the simulator started
};

// Modbus exception codes the recorder answers with.
inline constexpr std::uint8_t kIllegalFunction = 1;
inline constexpr std::uint8_t kIllegalDataAddress = 2;
inline constexpr std::uint8_t kIllegalDataValue = 3;

// Cuts the byte stream of the line into request frames. Reads (and any function it does not know)
// are 8 bytes, the download start frame 11, the end frame 10; a block frame ends where a frame of
// 512 data bytes would end if the CRC there is right, otherwise when the line goes quiet.
class FrameAssembler {
 public:
  // The frame `byte` completes, if it completes one.
  std::optional<std::vector<std::uint8_t>> Push(std::uint8_t byte);
  // The line went quiet: a block frame gathered so far (of another length than usual), else
  // nothing; either way the assembler starts afresh.
  std::optional<std::vector<std::uint8_t>> Quiet();
  bool Empty() const { return bytes_.empty(); }

  // A block frame longer than this cannot come from the program (its transmit buffer is 1024).
  static constexpr std::size_t kMaxBlockFrame = 1024;

 private:
  std::vector<std::uint8_t> bytes_;
};

// True when the last two bytes of `frame` are the CRC of the others, low byte of Crc16's result
// first (the download frames' order).
bool HasDownloadCrc(std::span<const std::uint8_t> frame);

class RecorderModel {
 public:
  RecorderModel(SimOptions options, ChannelTable channels);

  // The reply to one received frame, faults applied; empty for no reply. A finished picture
  // download is written to the picture file before its end frame is answered.
  std::vector<std::uint8_t> Answer(std::span<const std::uint8_t> frame, const Moment& moment);

  const SimOptions& Options() const { return options_; }
  const ChannelTable& Channels() const { return channels_; }
  // The picture received since the last start frame.
  const std::vector<std::uint8_t>& Picture() const { return picture_; }
  // Requests addressed here with a good CRC, and replies made.
  int Requests() const { return requests_; }
  int Replies() const { return replies_; }

  // Register values; nothing for an address the recorder does not have.
  std::optional<std::int16_t> HoldingRegister(int address) const;
  std::optional<std::int16_t> InputRegister(int address, const Moment& moment) const;

 private:
  std::vector<std::uint8_t> Respond(std::span<const std::uint8_t> frame, const Moment& moment);
  std::vector<std::uint8_t> ReadReply(std::uint8_t function, int start, int count,
                                      const Moment& moment) const;
  std::vector<std::uint8_t> BlockReply(std::span<const std::uint8_t> frame);
  std::vector<std::uint8_t> EndReply();
  std::vector<std::uint8_t> Exception(std::uint8_t function, std::uint8_t code) const;

  SimOptions options_;
  ChannelTable channels_;
  std::vector<std::uint8_t> picture_;
  int blockFrames_ = 0;                       // block frames since the start frame
  std::optional<std::uint8_t> lastSequence_;  // of the last block kept
  std::size_t lastBlockSize_ = 0;
  int requests_ = 0;
  int replies_ = 0;
};

}  // namespace vantiro::sim
