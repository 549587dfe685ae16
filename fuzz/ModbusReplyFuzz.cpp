// Arbitrary bytes as a reply from the recorder, through the reply checks of the Modbus reads and
// the download frames. The destination of a read has exactly `count` elements, on the heap, so the
// sanitizer stops any write past it. Besides, the checks must keep these rules:
//
//   - a refused reply leaves the destination untouched and says why with one of the frame layer's
//     own texts;
//   - an accepted reply leaves the error text alone; a register reply then carries exactly 2 x
//   count
//     data bytes, which are the destination's values, high byte first; a bit reply fills the
//     destination with 0 and 1 only, bit 0 of the first data byte first;
//   - an accepted download reply echoes the picture number or sequence byte.
//
// Input: byte 0 picks the check (low 3 bits) and whether the reply's CRC is made good first (0x08,
// so that the later checks are reached); byte 1 is the slave address; bytes 2..3 the count; byte 4
// the picture number or sequence byte; the rest is the reply.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "instrument/ModbusRtuProtocol.h"

namespace {

using namespace vantiro;

constexpr std::string_view kUntouched = "untouched";
constexpr std::string_view kTexts[] = {
    "返回字符个数不正确!",  "CRC校验不正确!",         "返回包的设备地址不正确",
    "返回包的功能码不正确", "返回包的字节个数不正确", "返回包的帧不对应",
};

void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "modbus reply invariant violated: %s\n", rule);
  __builtin_trap();
}

void RequireOutcome(bool ok, ErrorText errorText) {
  const std::string_view text = ErrorTextView(errorText);
  if (ok) {
    Require(text == kUntouched, "an accepted reply changed the error text");
  } else {
    Require(std::find(std::begin(kTexts), std::end(kTexts), text) != std::end(kTexts),
            "a refused reply without one of the frame layer's texts");
  }
}

void FuzzRegisters(std::span<const std::uint8_t> reply, std::int16_t kind, std::int16_t slave,
                   int count, ErrorText errorText) {
  constexpr std::int16_t kSentinel = 0x5A5A;
  std::vector<std::int16_t> destination(static_cast<std::size_t>(count), kSentinel);
  const ReadRequest request{kind, slave, 0, count, destination.data()};
  const bool ok = CheckRegisterReply(reply, request, errorText);
  RequireOutcome(ok, errorText);
  if (!ok) {
    Require(std::all_of(destination.begin(), destination.end(),
                        [](std::int16_t v) { return v == kSentinel; }),
            "a refused register reply wrote the destination");
    return;
  }
  Require(reply.size() == static_cast<std::size_t>(2 * count + 5) && reply[2] == 2 * count,
          "an accepted register reply does not carry 2 x count bytes");
  for (int i = 0; i < count; ++i) {
    const auto expected = static_cast<std::int16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
    Require(destination[static_cast<std::size_t>(i)] == expected, "a register decoded wrongly");
  }
}

void FuzzBits(std::span<const std::uint8_t> reply, std::int16_t kind, std::int16_t slave, int count,
              ErrorText errorText) {
  constexpr std::uint8_t kSentinel = 0x55;
  std::vector<std::uint8_t> destination(static_cast<std::size_t>(count), kSentinel);
  const ReadRequest request{kind, slave, 0, count, destination.data()};
  const bool ok = CheckBitReply(reply, request, errorText);
  RequireOutcome(ok, errorText);
  if (!ok) {
    Require(std::all_of(destination.begin(), destination.end(),
                        [](std::uint8_t v) { return v == kSentinel; }),
            "a refused bit reply wrote the destination");
    return;
  }
  for (int i = 0; i < count; ++i) {
    const unsigned expected = (reply[3 + i / 8] >> (i % 8)) & 1u;
    Require(destination[static_cast<std::size_t>(i)] == expected, "a bit decoded wrongly");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t selector = data[0];
  const auto slave = static_cast<std::int16_t>(data[1]);
  const int rawCount = data[2] << 8 | data[3];
  const std::uint8_t echo = data[4];
  std::vector<std::uint8_t> reply(data + 5, data + size);
  if ((selector & 0x08) != 0 && reply.size() >= 2) {
    reply.resize(reply.size() - 2);
    AppendCrc(reply);
  }

  std::array<char, kErrorTextSize> errorText{};
  SetErrorText(errorText, kUntouched);
  DownloadRequest download{.slave = slave, .picture = echo, .sequence = echo};
  switch (selector & 0x07) {
    case 0:
    case 1:
      // Counts a little beyond what a read may ask for, too.
      FuzzRegisters(reply, (selector & 0x07) == 0 ? kKindHoldingRegisters : kKindInputRegisters,
                    slave, rawCount % (kMaxReadRegisters + 8), errorText);
      break;
    case 2:
    case 3:
      FuzzBits(reply, (selector & 0x07) == 2 ? kKindCoils : kKindDiscreteInputs, slave,
               rawCount % (kMaxReadBits + 64), errorText);
      break;
    case 4: {
      const bool ok = CheckStartReply(reply, download, errorText);
      RequireOutcome(ok, errorText);
      if (ok) Require(reply.size() == 6 && reply[2] == echo, "a start reply for another picture");
      break;
    }
    case 5: {
      const bool ok = CheckBlockReply(reply, download, errorText);
      RequireOutcome(ok, errorText);
      if (ok) Require(reply.size() == 6 && reply[2] == echo, "a block reply for another block");
      break;
    }
    default: {
      const bool ok = CheckEndReply(reply, download, errorText);
      RequireOutcome(ok, errorText);
      if (ok) Require(reply.size() == 5, "an end reply of another length");
      break;
    }
  }
  return 0;
}
