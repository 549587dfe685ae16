// The picture download sequence against the simulated recorder on a pseudo-terminal, through the
// real termios layer: what the recorder receives, a refusal, and the port let go afterwards; then
// the same through vantiro-monitor --download. (A block refused at every attempt is a case of the
// sequence over a recording port: a recorder that stops answering costs the read time-outs.)

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"
#include "instrument/PictureDownload.h"
#include "instrument/TrafficLog.h"
#include "integration/SimulatedLine.h"
#include "vantiro-monitor/MonitorCommand.h"
#include "integration/MonitorRun.h"

namespace vantiro {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::SimulatedLine;

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 256) & 0xFF);
  }
  return bytes;
}

// The picture as a source-code array, sixteen constants a line.
std::string PictureText(const Bytes& bytes) {
  std::string text = "const unsigned char gImage_logo[] = { /* 0X00 */\n";
  static const char* digits = "0123456789ABCDEF";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += "0X";
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
    text += (i % 16 == 15) ? ",\n" : ",";
  }
  return text + "};\n";
}

// A port of the program's own that no other holder keeps: the download let it go.
bool PortIsFree(const std::string& ini) {
  TermiosSerialLibrary otherProgram(ini);
  if (otherProgram.Open(1) != kSerialOk) return false;
  otherProgram.Close(1);
  return true;
}

struct Download {
  DownloadOutcome outcome;
  int lastPosition = -1;
  int maximum = -1;
};

TEST(PictureDownloadTest, ThePictureArrivesPaddedToWholeBlocks) {
  struct Case {
    const char* name;
    std::size_t size;
    int slot;
    int refuseBlock;
    int blocks;
  };
  const Case cases[] = {
      {"1000 bytes into slot 3: two blocks, 24 zero bytes", 1000, 3, 0, 2},
      {"exactly 512 bytes: one block, no padding", 512, 1, 0, 1},
      {"258 blocks: the sequence byte wraps", 258 * 512 - 7, 6, 0, 258},
      {"the second block refused once, acknowledged on the next attempt", 1000, 2, 2, 2},
      {"block 256 refused once", 300 * 512, 4, 257, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string pictureOut = dir.File("received.bin");
    SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
      o.pictureOut = pictureOut;
      o.refuseBlock = c.refuseBlock;
    }));
    ASSERT_TRUE(line.Started());
    const std::string ini = line.WriteConfig();
    const std::string path = dir.File("logo.c");
    const Bytes picture = Pattern(c.size);
    testing::WriteText(path, PictureText(picture));

    LoadCommSettings(ini);
    TermiosSerialLibrary library(ini);
    ModbusRtuImpl instrument(library);
    DownloadOverInstrument port(instrument);
    Download run;
    run.outcome = DownloadPicture(port, path, c.slot - 1, [&](int position, int maximum) {
      run.lastPosition = position;
      run.maximum = maximum;
    });
    EXPECT_TRUE(run.outcome.succeeded);
    EXPECT_EQ(run.outcome.text, "下装成功!");
    EXPECT_EQ(run.maximum, c.blocks + 2);
    EXPECT_EQ(run.lastPosition, c.blocks + 2);
    EXPECT_FALSE(linkOpen);
    EXPECT_TRUE(PortIsFree(ini));

    std::string expected(picture.begin(), picture.end());
    expected.resize(static_cast<std::size_t>(c.blocks) * 512, '\0');
    const std::string received = testing::ReadText(pictureOut);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    line.Simulator().Stop();
    // Start frame, every block frame (one more when one was refused), end frame.
    EXPECT_EQ(line.Simulator().Model().Requests(), c.blocks + 2 + (c.refuseBlock > 0 ? 1 : 0));
  }
}

// The download's frames go into the traffic log like the reads: the start frame, each block
// (a refused one with why), the end frame.
TEST(PictureDownloadTest, EveryDownloadFrameIsInTheTrafficLog) {
  testing::TempDir dir;
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.refuseBlock = 2; }));
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig();
  const std::string path = dir.File("logo.c");
  testing::WriteText(path, PictureText(Pattern(1000)));
  LoadCommSettings(ini);
  TermiosSerialLibrary library(ini);
  ModbusRtuImpl instrument(library);
  DownloadOverInstrument port(instrument);
  InstrumentTraffic().Clear();
  ASSERT_TRUE(DownloadPicture(port, path, 0, [](int, int) {}).succeeded);
  const std::vector<TrafficEntry> entries = InstrumentTraffic().Since(0);
  ASSERT_EQ(entries.size(), 5u);  // start, block 0, block 1 refused, block 1 again, end
  std::vector<std::string> outcomes;
  for (const TrafficEntry& e : entries) outcomes.push_back(e.outcome);
  EXPECT_EQ(outcomes[0], "应答");
  EXPECT_EQ(outcomes[1], "应答");
  EXPECT_NE(outcomes[2], "应答");
  EXPECT_EQ(outcomes[3], "应答");
  EXPECT_EQ(outcomes[4], "应答");
  EXPECT_GT(entries[1].request.size(), 512u);  // a block frame whole
  EXPECT_FALSE(entries[4].reply.empty());
}

TEST(PictureDownloadTest, AnUnreadableFileIsReportedAfterTheOpenAndThePortIsClosed) {
  testing::TempDir dir;
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig();
  const std::string malformed = dir.File("malformed.c");
  testing::WriteText(malformed, "header\n0X12,0XG1,\n");
  const std::string missing = dir.File("missing.c");
  for (const std::string& path : {malformed, missing}) {
    SCOPED_TRACE(path);
    LoadCommSettings(ini);
    TermiosSerialLibrary library(ini);
    ModbusRtuImpl instrument(library);
    DownloadOverInstrument port(instrument);
    const DownloadOutcome outcome = DownloadPicture(port, path, 0);
    EXPECT_EQ(outcome.text, "读取文件失败!");
    EXPECT_FALSE(linkOpen);
    EXPECT_TRUE(PortIsFree(ini));
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  line.Simulator().Stop();
  EXPECT_EQ(line.Simulator().Model().Requests(), 0);
}

// ---------------------------------------------------------------------------------------------
// vantiro-monitor --download.

using testing::Monitor;
using Result = testing::MonitorResult;

std::string LastLine(const std::string& text) {
  if (text.empty() || text.back() != '\n') return "(no line end)";
  const std::size_t start = text.rfind('\n', text.size() - 2);
  return text.substr(start == std::string::npos ? 0 : start + 1,
                     text.size() - 1 - (start == std::string::npos ? 0 : start + 1));
}

TEST(PictureDownloadTest, TheMonitorDownloadsAndEndsWithTheOutcome) {
  testing::TempDir dir;
  const std::string pictureOut = dir.File("received.bin");
  SimulatedLine line(
      testing::SimOptionsWith([&](sim::SimOptions& o) { o.pictureOut = pictureOut; }));
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig();
  const std::string path = dir.File("logo.c");
  const Bytes picture = Pattern(1000);
  testing::WriteText(path, PictureText(picture));

  const Result ok = Monitor({"--config", ini, "--download", path, "--slot", "3"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "下装成功!\n");
  EXPECT_EQ(ok.err, "download 0/4\ndownload 1/4\ndownload 2/4\ndownload 3/4\ndownload 4/4\n");
  std::string expected(picture.begin(), picture.end());
  expected.resize(1024, '\0');
  EXPECT_TRUE(testing::ReadText(pictureOut) == expected);

  const Result noSlot = Monitor({"--download", path, "--config", ini});
  EXPECT_EQ(noSlot.status, 0);
  EXPECT_EQ(LastLine(noSlot.out), "下装成功!");

  const std::string missing = dir.File("missing.c");
  const Result unreadable = Monitor({"--config", ini, "--download", missing});
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_EQ(LastLine(unreadable.out), "读取文件失败!");
  EXPECT_FALSE(std::filesystem::exists(missing));

  const std::string noDevice = dir.File("no-device.ini");
  testing::WriteText(noDevice,
                     testing::ComSection(1) + "[DEVICE]\nCOM1=" + dir.File("gone") + "\n");
  const Result notOpened = Monitor({"--config", noDevice, "--download", path, "--slot", "6"});
  EXPECT_EQ(notOpened.status, 1);
  EXPECT_EQ(LastLine(notOpened.out), "串口初始化失败!");
  EXPECT_NE(notOpened.err.find(dir.File("gone")), std::string::npos) << notOpened.err;
}

TEST(PictureDownloadTest, TheMonitorRefusesABadDownloadCommandLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"--download"},
      {"--download", ""},
      {"--download", "a.c", "--slot", "0"},
      {"--download", "a.c", "--slot", "7"},
      {"--download", "a.c", "--slot", "x"},
      {"--download", "a.c", "--slot"},
      {"--slot", "2"},
      {"--download", "a.c", "--probe-only"},
      {"--download", "a.c", "--count", "2"},
      {"--interval", "10", "--download", "a.c"},
  };
  for (const auto& args : cases) {
    const Result result = Monitor(args);
    EXPECT_EQ(result.status, 2) << args[0] << " " << args.size();
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, std::string(kMonitorUsage) + "\n");
  }
}

}  // namespace
}  // namespace vantiro
