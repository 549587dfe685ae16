#include "instrument/Gateway.h"

#include <charconv>

#include "instrument/ModbusRtuProtocol.h"

namespace vantiro {
namespace {

constexpr std::string_view kRtuOverTcp = "tcp://";
constexpr std::string_view kModbusTcp = "modbus-tcp://";

}  // namespace

bool IsGatewayDevice(const std::string& device) {
  return device.starts_with(kRtuOverTcp) || device.starts_with(kModbusTcp);
}

std::optional<GatewayAddress> ParseGateway(const std::string& device) {
  GatewayAddress address;
  std::string_view rest;
  if (device.starts_with(kRtuOverTcp)) {
    rest = std::string_view(device).substr(kRtuOverTcp.size());
  } else if (device.starts_with(kModbusTcp)) {
    address.kind = GatewayKind::ModbusTcp;
    rest = std::string_view(device).substr(kModbusTcp.size());
  } else {
    return std::nullopt;
  }
  std::string_view host;
  std::string_view port;
  if (rest.starts_with('[')) {  // [IPv6]:PORT
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return std::nullopt;
    host = rest.substr(1, close - 1);
    port = rest.substr(close + 2);
  } else {
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) return std::nullopt;  // IPv6 needs brackets
  }
  if (host.empty() || port.empty()) return std::nullopt;
  unsigned number = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (ec != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535) return std::nullopt;
  address.host = std::string(host);
  address.port = static_cast<std::uint16_t>(number);
  return address;
}

std::vector<std::uint8_t> RtuToMbap(std::span<const std::uint8_t> rtu, std::uint16_t transaction) {
  if (rtu.size() < 4 || rtu.size() - 3 > kMbapMaxBytes - kMbapHeaderBytes) return {};
  const std::size_t pdu = rtu.size() - 3;  // without the address and the CRC
  const auto length = static_cast<std::uint16_t>(pdu + 1);
  std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(transaction >> 8),
                                     static_cast<std::uint8_t>(transaction & 0xFF),
                                     0,
                                     0,
                                     static_cast<std::uint8_t>(length >> 8),
                                     static_cast<std::uint8_t>(length & 0xFF),
                                     rtu[0]};
  frame.insert(frame.end(), rtu.begin() + 1, rtu.begin() + 1 + static_cast<long>(pdu));
  return frame;
}

std::optional<MbapHeader> ParseMbapHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMbapHeaderBytes) return std::nullopt;
  MbapHeader header;
  header.transaction = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
  header.protocol = static_cast<std::uint16_t>(bytes[2] << 8 | bytes[3]);
  header.length = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  header.unit = bytes[6];
  if (header.protocol != 0 || header.length < 2 || header.length > kMbapMaxBytes - kMbapHeaderBytes + 1) {
    return std::nullopt;
  }
  return header;
}

std::vector<std::uint8_t> MbapToRtu(std::uint8_t unit, std::span<const std::uint8_t> pdu) {
  std::vector<std::uint8_t> frame;
  frame.reserve(pdu.size() + 3);
  frame.push_back(unit);
  frame.insert(frame.end(), pdu.begin(), pdu.end());
  AppendCrc(frame);
  return frame;
}

}  // namespace vantiro
