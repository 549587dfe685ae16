// Gateway addresses and the Modbus TCP framing the link layer converts to and from RTU frames.
#include "instrument/Gateway.h"

#include <gtest/gtest.h>

#include "instrument/ModbusRtuProtocol.h"

namespace vantiro {
namespace {

TEST(GatewayTest, AddressesAreReadOrRefused) {
  struct Case {
    const char* device;
    std::optional<GatewayAddress> expected;
  };
  const Case cases[] = {
      {"tcp://192.168.1.50:4001", GatewayAddress{GatewayKind::RtuOverTcp, "192.168.1.50", 4001}},
      {"modbus-tcp://gw.plant:502", GatewayAddress{GatewayKind::ModbusTcp, "gw.plant", 502}},
      {"tcp://[fe80::1]:4001", GatewayAddress{GatewayKind::RtuOverTcp, "fe80::1", 4001}},
      {"tcp://localhost:65535", GatewayAddress{GatewayKind::RtuOverTcp, "localhost", 65535}},
      {"tcp://host:0", std::nullopt},
      {"tcp://host:65536", std::nullopt},
      {"tcp://host:", std::nullopt},
      {"tcp://:502", std::nullopt},
      {"tcp://host", std::nullopt},
      {"tcp://host:502/x", std::nullopt},
      {"tcp://fe80::1:502", std::nullopt},  // IPv6 needs brackets
      {"udp://host:502", std::nullopt},
      {"/dev/ttyUSB0", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    EXPECT_EQ(ParseGateway(c.device), c.expected);
    EXPECT_EQ(IsGatewayDevice(c.device), std::string(c.device).find("tcp://") != std::string::npos);
  }
}

TEST(GatewayTest, AnRtuFrameTravelsAsModbusTcpAndBack) {
  // Read 16 input registers from 0 of recorder 7.
  std::vector<std::uint8_t> rtu = {0x07, 0x04, 0x00, 0x00, 0x00, 0x10};
  AppendCrc(rtu);
  const std::vector<std::uint8_t> mbap = RtuToMbap(rtu, 0x1234);
  EXPECT_EQ(mbap, (std::vector<std::uint8_t>{0x12, 0x34, 0x00, 0x00, 0x00, 0x06, 0x07, 0x04, 0x00, 0x00, 0x00, 0x10}));
  const std::optional<MbapHeader> header = ParseMbapHeader(mbap);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->transaction, 0x1234);
  EXPECT_EQ(header->length, 6);
  EXPECT_EQ(header->unit, 7);
  EXPECT_EQ(MbapToRtu(header->unit, std::span(mbap).subspan(kMbapHeaderBytes)), rtu);

  EXPECT_TRUE(RtuToMbap(std::vector<std::uint8_t>{0x07, 0x04, 0x00}, 1).empty());  // no room for a PDU
  // Headers that cannot be Modbus TCP: another protocol, no PDU, longer than any frame.
  for (const std::vector<std::uint8_t>& bad : std::vector<std::vector<std::uint8_t>>{
           {0, 1, 0, 1, 0, 6, 7}, {0, 1, 0, 0, 0, 1, 7}, {0, 1, 0, 0, 1, 0, 7}, {0, 1, 0, 0, 0}}) {
    EXPECT_FALSE(ParseMbapHeader(bad));
  }
}

}  // namespace
}  // namespace vantiro
