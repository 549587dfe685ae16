// Reading the picture file of the OEM download.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "instrument/PictureFile.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Case {
  const char* name;
  std::string text;
  bool readable;
  Bytes bytes;
};

std::string Piece(std::string start, std::size_t size, char fill) {
  start.resize(size, fill);
  return start;
}

TEST(PictureFileTest, ReadsTheConstantsAfterTheHeader) {
  const std::string zero(1, '\0');
  const Case cases[] = {
      {"a source-code array",
       "const unsigned char pic[] = {\n0XFF,0X00,0X1F,\n0Xab};\n",
       true,
       {0xFF, 0x00, 0x1F, 0xAB}},
      {"the header's constant counts nothing", "0X12 0X13\n0X12\n", true, {0x12}},
      {"lower-case 0x anywhere is skipped", "h\n0x12,0X34,0x56", true, {0x34}},
      {"0X without two hex digits: unreadable", "h\n0X12,0XG1\n", false, {}},
      {"one hex digit only: unreadable", "h\n0X1,\n", false, {}},
      {"a 0X too near the end is not looked at", "h\n0X12,0XG", true, {0x12}},
      {"the last constant right at the end", "h\n0X7f", true, {0x7F}},
      {"no line feed: all header", "0X12,0X34", true, {}},
      {"an empty file", "", true, {}},
      {"only a header", "header\n", true, {}},
      {"0X0X12 is malformed", "h\n0X0X12", false, {}},
      {"lower x in the constant after 0X", "h\n0XxF", false, {}},
      {"a zero byte ends the piece's text", "h\n0X01" + zero + "0X02\n", true, {0x01}},
      {"a zero byte hides a malformed constant", "h\n0X01" + zero + "0XZZ\n", true, {0x01}},
      {"the next piece counts again after a zero byte",
       Piece("h\n0X01" + zero, kPictureFilePiece, 'q') + "0X02",
       true,
       {0x01, 0x02}},
      {"a constant across two pieces",
       Piece("h\n", kPictureFilePiece - 2, ' ') + "0X3C",
       true,
       {0x3C}},
      {"a header across two pieces",
       Piece("0X11", kPictureFilePiece + 10, 'a') + "\n0X22",
       true,
       {0x22}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string path = dir.File("picture.txt");
    testing::WriteText(path, c.text);
    Bytes bytes{9, 9};
    EXPECT_EQ(ReadPictureFile(path, bytes), c.readable);
    if (c.readable) {
      EXPECT_EQ(bytes, c.bytes);
    }
    Bytes parsed{7};
    EXPECT_EQ(ParsePictureText(reinterpret_cast<const std::uint8_t*>(c.text.data()), c.text.size(),
                               parsed),
              c.readable);
    if (c.readable) {
      EXPECT_EQ(parsed, c.bytes);
    }
  }
}

TEST(PictureFileTest, AMissingFileIsAReadFailureAndIsNotCreated) {
  testing::TempDir dir;
  const std::string path = dir.File("no-such-picture.txt");
  Bytes bytes{1, 2, 3};
  EXPECT_FALSE(ReadPictureFile(path, bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(PictureFileTest, AFolderIsAReadFailure) {
  testing::TempDir dir;
  Bytes bytes{1};
  EXPECT_FALSE(ReadPictureFile(dir.Path().string(), bytes));
  EXPECT_TRUE(bytes.empty());
}

TEST(PictureFileTest, APictureAboveTheLimitIsUnreadable) {
  std::string text = "h\n";
  text.reserve(2 + 4 * (kMaxPictureBytes + 1));
  for (std::size_t i = 0; i < kMaxPictureBytes; ++i) text += "0XA5";
  testing::TempDir dir;
  const std::string path = dir.File("big.txt");
  testing::WriteText(path, text);
  Bytes bytes;
  ASSERT_TRUE(ReadPictureFile(path, bytes));
  EXPECT_EQ(bytes.size(), kMaxPictureBytes);
  testing::WriteText(path, text + "0X01");
  EXPECT_FALSE(ReadPictureFile(path, bytes));
  EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace vantiro
