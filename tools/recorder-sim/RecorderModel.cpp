#include "recorder-sim/RecorderModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <numbers>
#include <sstream>

#include "instrument/ModbusRtuProtocol.h"

namespace vantiro::sim {
namespace {

constexpr std::int16_t kDefaultUnits[] = {19, 27, 20, 13, 31, 25, 0, 23};
constexpr std::int16_t kFirmwareVersion = 100;

// A whole decimal number in min..max.
std::optional<long long> ParseInteger(std::string_view text, long long min, long long max) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < min || value > max) return std::nullopt;
  return value;
}

std::optional<double> ParseSeconds(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::size_t used = 0;
  try {
    const double value = std::stod(text, &used);
    if (used != text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::uint8_t FunctionOf(std::span<const std::uint8_t> bytes) { return bytes[1]; }

// The CRC of a reply made again after its body changed.
void ResealReply(std::vector<std::uint8_t>& reply) {
  reply.resize(reply.size() - 2);
  AppendCrc(reply);
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(partial, path, ec);
  return !ec;
}

}  // namespace

ChannelTable DefaultChannels() {
  ChannelTable table;
  for (std::size_t k = 0; k < table.size(); ++k) {
    table[k].unitCode = kDefaultUnits[k % std::size(kDefaultUnits)];
  }
  return table;
}

bool ParseChannelTable(std::string_view text, ChannelTable& table, std::string& error) {
  ChannelTable parsed = table;
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
      line = line.substr(0, hash);
    }
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) continue;
    const auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(lineNumber) + ": " + why;
      return false;
    };
    if (words.size() != 7) return fail("expected: n scale unit HH H L LL");
    const auto channel = ParseInteger(words[0], 1, kInstrumentChannels);
    if (!channel) return fail("channel number 1..16 expected");
    std::array<std::int16_t, 6> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
      const auto value = ParseInteger(words[i + 1], std::numeric_limits<std::int16_t>::min(),
                                      std::numeric_limits<std::int16_t>::max());
      if (!value) return fail("16-bit integer expected: " + std::string(words[i + 1]));
      values[i] = static_cast<std::int16_t>(*value);
    }
    parsed[static_cast<std::size_t>(*channel - 1)] =
        ChannelSetup{values[0], values[1], values[2], values[3], values[4], values[5]};
  }
  table = parsed;
  return true;
}

std::int16_t MotionValue(const ChannelSetup& channel, int index, double seconds) {
  const double middle = (static_cast<double>(channel.limitHH) + channel.limitLL) / 2.0;
  const double half = std::abs(static_cast<double>(channel.limitHH) - channel.limitLL) / 2.0;
  const double amplitude = half + std::max(10.0, half / 10.0);
  const double phase = 2.0 * std::numbers::pi *
                       (seconds / kMotionPeriodSeconds + index / double(kInstrumentChannels));
  const double value = std::round(middle + amplitude * std::sin(phase));
  return static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
}

std::array<std::int16_t, kDeviceInfoCount> DeviceInfo(std::uint8_t address) {
  return {kInstrumentChannels, kFirmwareVersion, address, 0};
}

std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args, bool& help,
                                          std::string& error) {
  SimOptions options;
  help = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    // An option with a whole number in min..max; false (with the message) otherwise.
    const auto number = [&](int min, int max, int& target) {
      const std::optional<std::string> text = value();
      const auto parsed = text ? ParseInteger(*text, min, max) : std::nullopt;
      if (!parsed) {
        error = arg + " needs a number " + std::to_string(min) + ".." + std::to_string(max);
        return false;
      }
      target = static_cast<int>(*parsed);
      return true;
    };
    const auto text = [&](std::string& target) {
      const std::optional<std::string> v = value();
      if (!v || v->empty()) {
        error = arg + " needs a value";
        return false;
      }
      target = *v;
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--address") {
      // One address, or several separated by commas: recorders sharing the line.
      const std::optional<std::string> list = value();
      std::vector<std::uint8_t> addresses;
      std::size_t at = 0;
      while (list && at <= list->size()) {
        const std::size_t comma = std::min(list->find(',', at), list->size());
        const auto parsed = ParseInteger(list->substr(at, comma - at), 1, 247);
        if (!parsed || std::find(addresses.begin(), addresses.end(), *parsed) != addresses.end()) {
          addresses.clear();
          break;
        }
        addresses.push_back(static_cast<std::uint8_t>(*parsed));
        at = comma + 1;
      }
      if (addresses.empty()) {
        error = "--address needs numbers 1..247, different, separated by commas";
        return std::nullopt;
      }
      options.address = addresses.front();
      options.moreAddresses.assign(addresses.begin() + 1, addresses.end());
    } else if (arg == "--link") {
      if (!text(options.link)) return std::nullopt;
    } else if (arg == "--channels") {
      std::string files;
      if (!text(files)) return std::nullopt;
      std::size_t at = 0;
      std::vector<std::string> each;
      while (at <= files.size()) {
        const std::size_t comma = std::min(files.find(',', at), files.size());
        each.push_back(files.substr(at, comma - at));
        at = comma + 1;
      }
      options.channelsFile = each.front();
      options.moreChannelsFiles.assign(each.begin() + 1, each.end());
    } else if (arg == "--tcp" || arg == "--modbus-tcp") {
      if (!number(0, 65535, options.tcpPort)) return std::nullopt;
      options.modbusTcp = arg == "--modbus-tcp";
    } else if (arg == "--close-mid-reply") {
      options.closeMidReply = true;
    } else if (arg == "--picture-out") {
      if (!text(options.pictureOut)) return std::nullopt;
    } else if (arg == "--silent") {
      options.silent = true;
    } else if (arg == "--mute") {
      const std::optional<std::string> v = value();
      const std::size_t colon = v ? v->find(':') : std::string::npos;
      const std::optional<double> from = colon != std::string::npos ? ParseSeconds(v->substr(0, colon)) : std::nullopt;
      const std::optional<double> span = colon != std::string::npos ? ParseSeconds(v->substr(colon + 1)) : std::nullopt;
      if (!from || !span) {
        error = "--mute needs FROM:SECONDS";
        return std::nullopt;
      }
      options.muteFrom = *from;
      options.muteFor = *span;
    } else if (arg == "--bad-crc") {
      if (!number(1, 1000000, options.badCrcEvery)) return std::nullopt;
    } else if (arg == "--wrong-address") {
      options.wrongAddress = true;
    } else if (arg == "--delay") {
      if (!number(0, 60000, options.delayMs)) return std::nullopt;
    } else if (arg == "--stall") {
      if (!number(1, 1000000, options.stallAt)) return std::nullopt;
    } else if (arg == "--drop") {
      if (!number(1, 1000000, options.dropEvery)) return std::nullopt;
    } else if (arg == "--refuse-block") {
      if (!number(1, 1000000, options.refuseBlock)) return std::nullopt;
    } else if (arg == "--freeze") {
      const std::optional<std::string> v = value();
      options.freezeSeconds = v ? ParseSeconds(*v) : std::nullopt;
      if (!options.freezeSeconds) {
        error = "--freeze needs a number of seconds";
        return std::nullopt;
      }
    } else if (arg == "--exit-on-eof") {
      options.exitOnEof = true;
    } else {
      error = "unknown argument: " + arg;
      return std::nullopt;
    }
  }
  if (!options.moreChannelsFiles.empty() && options.moreChannelsFiles.size() != options.moreAddresses.size()) {
    error = "--channels needs one file, or one for each address";
    return std::nullopt;
  }
  return options;
}

// ---------------------------------------------------------------------------------------------

bool HasDownloadCrc(std::span<const std::uint8_t> frame) {
  if (frame.size() < 3) return false;
  const std::size_t body = frame.size() - 2;
  const std::uint16_t crc = Crc16(frame.data(), body);
  return frame[body] == (crc & 0xFF) && frame[body + 1] == (crc >> 8);
}

std::optional<std::vector<std::uint8_t>> FrameAssembler::Push(std::uint8_t byte) {
  bytes_.push_back(byte);
  if (bytes_.size() < 2) return std::nullopt;
  std::size_t expected = kReadFrameSize;
  switch (FunctionOf(bytes_)) {
    case kFunctionStartDownload: expected = kStartFrameSize; break;
    case kFunctionEndDownload: expected = kEndFrameSize; break;
    case kFunctionDownloadBlock: {
      const bool usual = bytes_.size() == kPictureBlockSize + kBlockFrameOverhead;
      if ((usual && HasDownloadCrc(bytes_)) || bytes_.size() >= kMaxBlockFrame) {
        std::vector<std::uint8_t> frame;
        frame.swap(bytes_);
        return frame;
      }
      return std::nullopt;
    }
    default: break;
  }
  if (bytes_.size() < expected) return std::nullopt;
  std::vector<std::uint8_t> frame;
  frame.swap(bytes_);
  return frame;
}

std::optional<std::vector<std::uint8_t>> FrameAssembler::Quiet() {
  std::vector<std::uint8_t> bytes;
  bytes.swap(bytes_);
  if (bytes.size() >= kBlockFrameOverhead && FunctionOf(bytes) == kFunctionDownloadBlock) {
    return bytes;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------

RecorderModel::RecorderModel(SimOptions options, ChannelTable channels)
    : options_(std::move(options)), channels_(channels) {}

std::optional<std::int16_t> RecorderModel::HoldingRegister(int address) const {
  if (address >= kDeviceInfoAddress && address < kDeviceInfoAddress + kDeviceInfoCount) {
    return DeviceInfo(options_.address)[static_cast<std::size_t>(address - kDeviceInfoAddress)];
  }
  const int offset = address - kChannelBlockBase;
  if (offset < 0 || offset >= kChannelBlockStride * kInstrumentChannels) return std::nullopt;
  const int index = offset / kChannelBlockStride;
  const ChannelSetup& channel = channels_[static_cast<std::size_t>(index)];
  switch (offset % kChannelBlockStride) {
    case 0: return static_cast<std::int16_t>(index + 1);
    case ChannelBlock::kScaleCode: return channel.scaleCode;
    case ChannelBlock::kUnitCode: return channel.unitCode;
    case ChannelBlock::kLimitHH: return channel.limitHH;
    case ChannelBlock::kLimitH: return channel.limitH;
    case ChannelBlock::kLimitL: return channel.limitL;
    case ChannelBlock::kLimitLL: return channel.limitLL;
    default: return std::int16_t{0};
  }
}

std::optional<std::int16_t> RecorderModel::InputRegister(int address, const Moment& moment) const {
  const int offset = address - kLiveBlockAddress;
  if (offset < 0 || offset >= kLiveBlockCount) return std::nullopt;
  if (offset < LiveBlock::kFirstValue) {
    return static_cast<std::int16_t>(moment.clock[static_cast<std::size_t>(offset)]);
  }
  const int index = offset - LiveBlock::kFirstValue;
  return MotionValue(channels_[static_cast<std::size_t>(index)], index, moment.motionSeconds);
}

std::vector<std::uint8_t> RecorderModel::Exception(std::uint8_t function, std::uint8_t code) const {
  std::vector<std::uint8_t> reply(3);
  reply[0] = options_.address;
  reply[1] = static_cast<std::uint8_t>(function | 0x80);
  reply[2] = code;
  AppendCrc(reply);
  return reply;
}

std::vector<std::uint8_t> RecorderModel::ReadReply(std::uint8_t function, int start, int count,
                                                   const Moment& moment) const {
  if (function != kFunctionReadHoldingRegisters && function != kFunctionReadInputRegisters) {
    // No coils or discrete inputs here.
    return Exception(function,
                     function == kFunctionReadCoils || function == kFunctionReadDiscreteInputs
                         ? kIllegalDataAddress
                         : kIllegalFunction);
  }
  if (count < 1 || count > kMaxReadRegisters) return Exception(function, kIllegalDataValue);
  std::vector<std::int16_t> registers(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const std::optional<std::int16_t> value = function == kFunctionReadHoldingRegisters
                                                  ? HoldingRegister(start + i)
                                                  : InputRegister(start + i, moment);
    if (!value) return Exception(function, kIllegalDataAddress);
    registers[static_cast<std::size_t>(i)] = *value;
  }
  return MakeRegisterReply(options_.address, function, registers);
}

std::vector<std::uint8_t> RecorderModel::BlockReply(std::span<const std::uint8_t> frame) {
  const std::uint8_t sequence = frame[2];
  if (++blockFrames_ == options_.refuseBlock) {
    // Refused: its data is not kept, and the acknowledgement names another block.
    return MakeBlockReply(options_.address, static_cast<std::uint8_t>(sequence + 1));
  }
  const std::span<const std::uint8_t> data = frame.subspan(3, frame.size() - kBlockFrameOverhead);
  if (lastSequence_ == sequence && lastBlockSize_ <= picture_.size()) {
    // The same block again (its acknowledgement went astray): it replaces the copy kept.
    picture_.resize(picture_.size() - lastBlockSize_);
  }
  picture_.insert(picture_.end(), data.begin(), data.end());
  lastSequence_ = sequence;
  lastBlockSize_ = data.size();
  return MakeBlockReply(options_.address, sequence);
}

std::vector<std::uint8_t> RecorderModel::EndReply() {
  if (!options_.pictureOut.empty() && !WriteFile(options_.pictureOut, picture_)) {
    std::cerr << "recorder-sim: cannot write " << options_.pictureOut << "\n";
  }
  return MakeEndReply(options_.address);
}

std::vector<std::uint8_t> RecorderModel::Respond(std::span<const std::uint8_t> frame,
                                                 const Moment& moment) {
  switch (FunctionOf(frame)) {
    case kFunctionStartDownload:
      picture_.clear();
      blockFrames_ = 0;
      lastSequence_.reset();
      lastBlockSize_ = 0;
      return MakeStartReply(options_.address, frame[2]);
    case kFunctionDownloadBlock: return BlockReply(frame);
    case kFunctionEndDownload: return EndReply();
    default: {
      const std::optional<ReadFrame> read = ParseReadFrame(frame);
      return ReadReply(read->function, read->start, read->count, moment);
    }
  }
}

std::vector<std::uint8_t> RecorderModel::Answer(std::span<const std::uint8_t> frame,
                                                const Moment& moment) {
  if (frame.size() < 4) return {};
  bool whole = false;
  switch (FunctionOf(frame)) {
    case kFunctionStartDownload:
      whole = frame.size() == kStartFrameSize && HasDownloadCrc(frame);
      break;
    case kFunctionEndDownload:
      whole = frame.size() == kEndFrameSize && HasDownloadCrc(frame);
      break;
    case kFunctionDownloadBlock:
      whole = frame.size() >= kBlockFrameOverhead && HasDownloadCrc(frame);
      break;
    default: whole = ParseReadFrame(frame).has_value(); break;
  }
  if (!whole || frame[0] != options_.address) return {};
  ++requests_;
  if (options_.silent) return {};
  if (options_.muteFor > 0.0 && moment.elapsedSeconds >= options_.muteFrom &&
      moment.elapsedSeconds < options_.muteFrom + options_.muteFor) {
    return {};
  }
  if (options_.dropEvery > 0 && requests_ % options_.dropEvery == 0) return {};

  std::vector<std::uint8_t> reply = Respond(frame, moment);
  ++replies_;
  if (options_.wrongAddress) {
    reply[0] = static_cast<std::uint8_t>(options_.address + 1);
    ResealReply(reply);
  }
  if (options_.badCrcEvery > 0 && replies_ % options_.badCrcEvery == 0) reply.back() ^= 0xFF;
  return reply;
}

}  // namespace vantiro::sim
