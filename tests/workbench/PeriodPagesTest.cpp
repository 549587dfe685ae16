// The paged table of a long period against the whole table built at once: every page, reached from
// the first or from the last, holds exactly the rows the whole table holds there.
#include <gtest/gtest.h>

#include <random>

#include "workbench/PeriodPages.h"

namespace vantiro {
namespace {

// Channels 1 and 2 every second; channel 3 every 7 s with a gap; channel 4 a few irregular samples.
std::vector<ChannelInfo> Dataset(DateTime start, int seconds) {
  std::vector<ChannelInfo> channels(4);
  std::mt19937 random(3);
  for (int c = 0; c < 4; ++c) {
    channels[c].number = static_cast<std::int16_t>(c + 1);
    channels[c].unit = "℃";
  }
  for (int s = 0; s < seconds; ++s) {
    const DateTime t = start + s * kOneSecond;
    for (int c = 0; c < 2; ++c) {
      channels[c].times.push_back(t);
      channels[c].values.push_back(static_cast<float>(c * 100 + s % 97));
    }
    if (s % 7 == 0) {
      channels[2].times.push_back(t);
      channels[2].values.push_back(s == 700 ? GapValue : static_cast<float>(s));
    }
    if (random() % 500 == 0) {
      channels[3].times.push_back(t + 0.25 * kOneSecond);
      channels[3].values.push_back(1.5f);
    }
  }
  return channels;
}

// The rows of a page as texts, to compare with the whole table's.
std::vector<std::string> PageRows(const PeriodPage& page) {
  std::vector<std::string> rows;
  for (std::size_t r = 0; r < page.table.rows.size(); ++r) {
    std::vector<std::string> texts = RowTexts(page.channels, page.table.rows, page.table.columnChannels, r);
    std::string line;
    for (std::size_t i = 1; i < texts.size(); ++i) line += texts[i] + "|";  // the number left out
    rows.push_back(line);
  }
  return rows;
}

TEST(PeriodPagesTest, EveryPageHoldsTheRowsTheWholeTableHoldsThere) {
  const DateTime start = 40000.0;
  const int seconds = 5000;
  const std::vector<ChannelInfo> all = Dataset(start, seconds);
  const TableView whole = BuildTableView(all, 100);
  std::vector<std::string> wholeRows;
  for (std::size_t r = 0; r < whole.rows.size(); ++r) {
    std::vector<std::string> texts = RowTexts(all, whole.rows, whole.columnChannels, r);
    std::string line;
    for (std::size_t i = 1; i < texts.size(); ++i) line += texts[i] + "|";
    wholeRows.push_back(line);
  }
  int reads = 0;
  PeriodPages::ReadWindow read = [&](DateTime from, DateTime to, std::vector<ChannelInfo>& out, std::string&) {
    ++reads;
    for (const ChannelInfo& c : all) {
      ChannelInfo part;
      part.number = c.number;
      part.unit = c.unit;
      for (std::size_t i = 0; i < c.times.size(); ++i) {
        if (c.times[i] >= from && c.times[i] <= to) {
          part.times.push_back(c.times[i]);
          part.values.push_back(c.values[i]);
        }
      }
      out.push_back(std::move(part));
    }
    return true;
  };
  // A poor guess of the rows a day: the windows grow to fit.
  for (const double rowsPerDay : {86400.0, 10.0, 1e9}) {
    SCOPED_TRACE(rowsPerDay);
    PeriodPages pages(start, start + seconds * kOneSecond, 100, rowsPerDay, read);
    PeriodPage page;
    std::string error;
    std::size_t row = 0;
    ASSERT_TRUE(pages.First(page, error));
    EXPECT_TRUE(page.isFirst);
    for (int k = 0;; ++k) {
      ASSERT_EQ(page.firstRow, std::optional<std::uint64_t>(row));
      const std::vector<std::string> rows = PageRows(page);
      ASSERT_EQ(rows, std::vector<std::string>(wholeRows.begin() + static_cast<long>(row),
                                               wholeRows.begin() + static_cast<long>(std::min(row + 100, wholeRows.size()))))
          << "page " << k;
      row += rows.size();
      if (page.isLast) break;
      ASSERT_TRUE(pages.Next(page, error));
    }
    EXPECT_EQ(row, wholeRows.size());
    // Back one page from the last reached from the first.
    ASSERT_TRUE(pages.Previous(page, error));
    const std::size_t lastFull = (wholeRows.size() - 1) / 100 * 100;
    EXPECT_EQ(page.firstRow, std::optional<std::uint64_t>(lastFull - 100));
    // From the last page backwards: the same rows, counted from the end.
    ASSERT_TRUE(pages.Last(page, error));
    EXPECT_TRUE(page.isLast);
    EXPECT_FALSE(page.firstRow);
    std::size_t end = wholeRows.size();
    for (int k = 0; k < 5; ++k) {
      const std::vector<std::string> rows = PageRows(page);
      ASSERT_EQ(rows.size(), 100u);
      ASSERT_EQ(rows, std::vector<std::string>(wholeRows.begin() + static_cast<long>(end - 100),
                                               wholeRows.begin() + static_cast<long>(end)));
      end -= 100;
      ASSERT_TRUE(pages.Previous(page, error));
    }
  }
  EXPECT_GT(reads, 0);
}

TEST(PeriodPagesTest, AnEmptyPeriodIsOnePageWithoutRowsAndAReadFailureIsSaid) {
  PeriodPages empty(40000.0, 40001.0, 100, 0.0, [](DateTime, DateTime, std::vector<ChannelInfo>& out, std::string&) {
    out.resize(2);
    return true;
  });
  PeriodPage page;
  std::string error;
  ASSERT_TRUE(empty.First(page, error));
  EXPECT_TRUE(page.isFirst);
  EXPECT_TRUE(page.isLast);
  EXPECT_TRUE(page.table.rows.empty());
  PeriodPages failing(40000.0, 40001.0, 100, 0.0, [](DateTime, DateTime, std::vector<ChannelInfo>&, std::string& e) {
    e = "the server is gone";
    return false;
  });
  EXPECT_FALSE(failing.First(page, error));
  EXPECT_EQ(error, "the server is gone");
}

}  // namespace
}  // namespace vantiro
