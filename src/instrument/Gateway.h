#pragma once
// Links to a recorder through a serial-to-Ethernet gateway instead of a local port. A port's
// device may name one:
//
//   tcp://HOST:PORT         the gateway passes the RTU frames through unchanged ("RTU over TCP")
//   modbus-tcp://HOST:PORT  the gateway speaks Modbus TCP: each frame travels with the MBAP
//                           header (transaction, protocol 0, length, unit = the recorder's
//                           address) in place of the address and the CRC
//
// The link layer converts Modbus TCP to and from RTU frames, so everything above it sees the
// recorder's own frames either way.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantiro {

enum class GatewayKind { RtuOverTcp, ModbusTcp };

struct GatewayAddress {
  GatewayKind kind = GatewayKind::RtuOverTcp;
  std::string host;  // a name or a numeric address (an IPv6 one without brackets)
  std::uint16_t port = 0;
  friend bool operator==(const GatewayAddress&, const GatewayAddress&) = default;
};

// Whether a device names a gateway (starts with tcp:// or modbus-tcp://).
bool IsGatewayDevice(const std::string& device);
// The gateway a device names; nothing when it is not one or is not well formed (no host, a port
// outside 1..65535, anything after the port).
std::optional<GatewayAddress> ParseGateway(const std::string& device);

inline constexpr std::size_t kMbapHeaderBytes = 7;
// The longest Modbus TCP frame: the header and a PDU of 253 bytes.
inline constexpr std::size_t kMbapMaxBytes = kMbapHeaderBytes + 253;

// An RTU frame (address, PDU, CRC) as a Modbus TCP frame with `transaction`; empty for a frame too
// short to hold an address, a function and a CRC.
std::vector<std::uint8_t> RtuToMbap(std::span<const std::uint8_t> rtu, std::uint16_t transaction);

struct MbapHeader {
  std::uint16_t transaction = 0;
  std::uint16_t protocol = 0;
  std::uint16_t length = 0;  // the unit and the PDU
  std::uint8_t unit = 0;
};
// The header at the start of `bytes` (at least kMbapHeaderBytes); nothing when it cannot be one:
// protocol not 0, or a length that leaves no PDU or exceeds the longest frame.
std::optional<MbapHeader> ParseMbapHeader(std::span<const std::uint8_t> bytes);

// The RTU frame of a Modbus TCP frame's unit and PDU: the address, the PDU and its CRC.
std::vector<std::uint8_t> MbapToRtu(std::uint8_t unit, std::span<const std::uint8_t> pdu);

}  // namespace vantiro
