// The download sequence over a recording port: the frames in their order, the attempts per block,
// the progress, the outcome texts, and the port closed whenever it was opened.

#include <gtest/gtest.h>

#include <filesystem>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "instrument/PictureDownload.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

using Bytes = std::vector<std::uint8_t>;

class RecordingPort : public DownloadPort {
 public:
  bool openFails = false;
  bool startFails = false;
  bool finishFails = false;
  int failBlockAttempts = 0;  // block attempts refused before the first acknowledgement
  int failBlockAt = -1;       // the block index whose attempts are refused; -1 none

  // A stop requested while the call `stopDuring` ("start 0", "block 1 512", "end", ...) runs,
  // which then gives `resultWhenStopped` (an aborted exchange fails).
  std::stop_source* stop = nullptr;
  std::string stopDuring;
  bool resultWhenStopped = false;

  std::vector<std::string> calls;
  std::vector<Bytes> blocks;  // data of every block attempt
  bool open = false;

  bool Open() override {
    calls.push_back("open");
    open = !openFails;
    return open;
  }
  bool Start(int picture) override {
    calls.push_back("start " + std::to_string(picture));
    return Result(!startFails);
  }
  bool Block(const std::uint8_t* data, std::int32_t length, std::int32_t sequence) override {
    calls.push_back("block " + std::to_string(sequence & 0xFF) + " " + std::to_string(length));
    blocks.emplace_back(data, data + length);
    if (sequence == failBlockAt && failBlockAttempts > 0) {
      --failBlockAttempts;
      return Result(false);
    }
    return Result(true);
  }
  bool Finish() override {
    calls.push_back("end");
    return Result(!finishFails);
  }
  void Close() override {
    calls.push_back("close");
    open = false;
  }
  void Abort() override { calls.push_back("abort"); }

 private:
  bool Result(bool result) {
    if (stop == nullptr || calls.back() != stopDuring) return result;
    stop->request_stop();
    return resultWhenStopped;
  }
};

std::string PictureText(const Bytes& bytes) {
  std::string text = "const unsigned char gImage[] = {\n";
  static const char* digits = "0123456789ABCDEF";
  for (const std::uint8_t b : bytes) {
    text += "0X";
    text += digits[b >> 4];
    text += digits[b & 15];
    text += ",";
  }
  return text + "\n};\n";
}

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

struct DownloadRun {
  DownloadOutcome outcome;
  std::vector<std::pair<int, int>> progress;
};

DownloadRun Download(RecordingPort& port, const std::string& path, int picture) {
  DownloadRun run;
  run.outcome = DownloadPicture(port, path, picture, [&](int position, int maximum) {
    run.progress.emplace_back(position, maximum);
  });
  return run;
}

TEST(PictureDownloadTest, AThousandBytesGoInTwoBlocksTheSecondPadded) {
  testing::TempDir dir;
  const std::string path = dir.File("picture.txt");
  const Bytes picture = Pattern(1000);
  testing::WriteText(path, PictureText(picture));
  RecordingPort port;
  const DownloadRun run = Download(port, path, 2);  // slot "3"
  EXPECT_TRUE(run.outcome.succeeded);
  EXPECT_EQ(run.outcome.text, "下装成功!");
  EXPECT_EQ(port.calls, (std::vector<std::string>{"open", "start 2", "block 0 512", "block 1 512",
                                                  "end", "close"}));
  ASSERT_EQ(port.blocks.size(), 2u);
  Bytes sent = port.blocks[0];
  sent.insert(sent.end(), port.blocks[1].begin(), port.blocks[1].end());
  Bytes expected = picture;
  expected.resize(1024, 0);  // 24 zero bytes
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(run.progress,
            (std::vector<std::pair<int, int>>{{0, 0}, {0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_FALSE(port.open);
}

TEST(PictureDownloadTest, ExactlyOneBlockIsNotPadded) {
  testing::TempDir dir;
  const std::string path = dir.File("picture.txt");
  const Bytes picture = Pattern(512);
  testing::WriteText(path, PictureText(picture));
  RecordingPort port;
  const DownloadRun run = Download(port, path, 0);
  EXPECT_EQ(run.outcome.text, "下装成功!");
  EXPECT_EQ(port.calls,
            (std::vector<std::string>{"open", "start 0", "block 0 512", "end", "close"}));
  ASSERT_EQ(port.blocks.size(), 1u);
  EXPECT_EQ(port.blocks[0], picture);
  EXPECT_EQ(run.progress.back(), std::make_pair(3, 3));
}

TEST(PictureDownloadTest, TheSequenceByteWrapsAfter256Blocks) {
  testing::TempDir dir;
  const std::string path = dir.File("picture.txt");
  testing::WriteText(path, PictureText(Pattern(258 * 512)));
  RecordingPort port;
  const DownloadRun run = Download(port, path, 5);
  EXPECT_EQ(run.outcome.text, "下装成功!");
  ASSERT_EQ(port.calls.size(), 262u);
  EXPECT_EQ(port.calls[2 + 255], "block 255 512");
  EXPECT_EQ(port.calls[2 + 256], "block 0 512");
  EXPECT_EQ(port.calls[2 + 257], "block 1 512");
  EXPECT_EQ(run.progress.back(), std::make_pair(260, 260));
}

TEST(PictureDownloadTest, ABlockIsTriedUpToTenTimes) {
  testing::TempDir dir;
  const std::string path = dir.File("picture.txt");
  testing::WriteText(path, PictureText(Pattern(1000)));
  {
    SCOPED_TRACE("acknowledged on the tenth attempt");
    RecordingPort port;
    port.failBlockAt = 1;
    port.failBlockAttempts = 9;
    const DownloadRun run = Download(port, path, 0);
    EXPECT_EQ(run.outcome.text, "下装成功!");
    EXPECT_EQ(port.calls.size(), 2u + 1 + 10 + 2);
    EXPECT_EQ(port.calls.back(), "close");
    EXPECT_EQ(run.progress.back(), std::make_pair(4, 4));
  }
  {
    SCOPED_TRACE("refused ten times");
    RecordingPort port;
    port.failBlockAt = 1;
    port.failBlockAttempts = 10;
    const DownloadRun run = Download(port, path, 0);
    EXPECT_FALSE(run.outcome.succeeded);
    EXPECT_EQ(run.outcome.text, "下装失败!");
    std::vector<std::string> expected{"open", "start 0", "block 0 512"};
    for (int i = 0; i < 10; ++i) expected.push_back("block 1 512");
    expected.push_back("close");  // no end frame after a failure
    EXPECT_EQ(port.calls, expected);
    EXPECT_EQ(run.progress.back(), std::make_pair(2, 4));
    EXPECT_FALSE(port.open);
  }
}

TEST(PictureDownloadTest, EachFailureHasItsTextAndThePortIsClosed) {
  testing::TempDir dir;
  const std::string good = dir.File("picture.txt");
  testing::WriteText(good, PictureText(Pattern(10)));
  const std::string malformed = dir.File("malformed.txt");
  testing::WriteText(malformed, "h\n0X12,0XG1\n");
  const std::string empty = dir.File("empty.txt");
  testing::WriteText(empty, "h\n0x12\n");
  const std::string missing = dir.File("missing.txt");

  {
    SCOPED_TRACE("the port does not open");
    RecordingPort port;
    port.openFails = true;
    const DownloadRun run = Download(port, good, 0);
    EXPECT_EQ(run.outcome.text, "串口初始化失败!");
    EXPECT_EQ(port.calls, std::vector<std::string>{"open"});
  }
  for (const std::string& path : {malformed, empty, missing, dir.Path().string()}) {
    SCOPED_TRACE(path);
    RecordingPort port;
    const DownloadRun run = Download(port, path, 0);
    EXPECT_FALSE(run.outcome.succeeded);
    EXPECT_EQ(run.outcome.text, "读取文件失败!");
    EXPECT_EQ(port.calls, (std::vector<std::string>{"open", "close"}));
    EXPECT_EQ(run.progress, (std::vector<std::pair<int, int>>{{0, 0}}));
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  {
    SCOPED_TRACE("start frame refused");
    RecordingPort port;
    port.startFails = true;
    const DownloadRun run = Download(port, good, 1);
    EXPECT_EQ(run.outcome.text, "下装失败!");
    EXPECT_EQ(port.calls, (std::vector<std::string>{"open", "start 1", "close"}));
  }
  {
    SCOPED_TRACE("end frame refused");
    RecordingPort port;
    port.finishFails = true;
    const DownloadRun run = Download(port, good, 1);
    EXPECT_EQ(run.outcome.text, "下装失败!");
    EXPECT_EQ(port.calls,
              (std::vector<std::string>{"open", "start 1", "block 0 512", "end", "close"}));
    EXPECT_EQ(run.progress.back(), std::make_pair(2, 3));
  }
}

// A stop request ends the download at once: the exchange in progress is aborted, nothing more is
// sent, the port is closed and the outcome says so ("下装已中止!"), never "下装成功!" for a picture
// that did not all arrive, nor "下装失败!" for the recorder's sake. Only an end frame already
// acknowledged makes it a success.
TEST(PictureDownloadTest, AStopEndsItBetweenFramesAndAbortsTheOneInProgress) {
  testing::TempDir dir;
  const std::string path = dir.File("picture.txt");
  testing::WriteText(path, PictureText(Pattern(3 * 512)));
  struct Case {
    const char* name;
    std::string stopDuring;  // "" before the download
    bool resultWhenStopped;
    std::vector<std::string> calls;
    const char* text;
  };
  const Case cases[] = {
      {"before the download", "", false, {}, "下装已中止!"},
      {"during the start frame", "start 4", false, {"open", "start 4", "abort", "close"},
       "下装已中止!"},
      {"during a block's acknowledgement",
       "block 1 512",
       false,
       {"open", "start 4", "block 0 512", "block 1 512", "abort", "close"},
       "下装已中止!"},
      {"as a block was acknowledged",
       "block 1 512",
       true,
       {"open", "start 4", "block 0 512", "block 1 512", "abort", "close"},
       "下装已中止!"},
      {"during the end frame",
       "end",
       false,
       {"open", "start 4", "block 0 512", "block 1 512", "block 2 512", "end", "abort", "close"},
       "下装已中止!"},
      {"as the end frame was acknowledged",
       "end",
       true,
       {"open", "start 4", "block 0 512", "block 1 512", "block 2 512", "end", "abort", "close"},
       "下装成功!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::stop_source stop;
    if (c.stopDuring.empty()) stop.request_stop();
    RecordingPort port;
    port.stop = &stop;
    port.stopDuring = c.stopDuring;
    port.resultWhenStopped = c.resultWhenStopped;
    const DownloadOutcome outcome = DownloadPicture(port, path, 4, {}, stop.get_token());
    EXPECT_EQ(port.calls, c.calls);
    EXPECT_EQ(outcome.text, c.text);
    EXPECT_EQ(outcome.succeeded, std::string(c.text) == "下装成功!");
    EXPECT_EQ(outcome.stopped, std::string(c.text) == "下装已中止!");
    EXPECT_FALSE(port.open);
  }
}

}  // namespace
}  // namespace vantiro
