#include <gtest/gtest.h>

#include <limits>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "recorder/DateTime.h"
#include "workbench/TableRows.h"

namespace vantiro {
namespace {

struct Sample {
  DateTime time;
  float value;
};

ChannelInfo Channel(std::int16_t number, const std::vector<Sample>& samples) {
  ChannelInfo channel;
  channel.number = number;
  channel.unit = "mA";
  for (const Sample& s : samples) {
    channel.times.push_back(s.time);
    channel.values.push_back(s.value);
  }
  return channel;
}

struct Row {
  DateTime time;
  std::vector<CellRef> cells;
};

// "time: channel/sample ..." per row, one row a line; times in full precision.
std::string Text(const std::vector<Row>& rows) {
  std::string out;
  char buffer[40];
  for (const Row& row : rows) {
    std::snprintf(buffer, sizeof buffer, "%.17g:", row.time);
    out += buffer;
    for (const CellRef& cell : row.cells) {
      std::snprintf(buffer, sizeof buffer, " %d/%d", cell.channel, cell.sampleIndex);
      out += buffer;
    }
    out += '\n';
  }
  return out;
}

std::string Text(const TableRows& table) {
  std::vector<Row> rows;
  for (std::size_t r = 0; r < table.size(); ++r) {
    const auto cells = table.Cells(r);
    rows.push_back(Row{table.Time(r), std::vector<CellRef>(cells.begin(), cells.end())});
  }
  return Text(rows);
}

const DateTime T = *EncodeDateTime(2010, 5, 12, 10, 0, 0);
const double S = kOneSecond;
const float G = GapValue;
// Offsets of a time relative to T, measured in the row tolerance 1e-12 x T.
DateTime Near(double tolerances) { return T + tolerances * 1e-12 * T; }

TEST(TableRowsTest, RowsFollowTheGroupingRules) {
  struct Case {
    const char* name;
    std::vector<ChannelInfo> channels;
    std::vector<std::int32_t> columns;
    std::vector<Row> expected;
  };
  const std::vector<Case> cases = {
      {"channels sampled at the same instants share rows",
       {Channel(1, {{T, 1}, {T + S, 2}, {T + 2 * S, 3}}),
        Channel(2, {{T, 4}, {T + S, 5}, {T + 2 * S, 6}})},
       {0, 1},
       {{T, {{0, 0}, {1, 0}}}, {T + S, {{0, 1}, {1, 1}}}, {T + 2 * S, {{0, 2}, {1, 2}}}}},
      {"a time with one channel's sample gives a row of one cell",
       {Channel(1, {{T, 1}, {T + S, 2}}), Channel(2, {{T + S, 3}, {T + 2 * S, 4}})},
       {0, 1},
       {{T, {{0, 0}}}, {T + S, {{0, 1}, {1, 0}}}, {T + 2 * S, {{1, 1}}}}},
      {"a channel of gap markers gives no cell",
       {Channel(1, {{T, 1}, {T + S, 2}}), Channel(2, {{T, G}, {T + S, -158.01f}})},
       {0, 1},
       {{T, {{0, 0}}}, {T + S, {{0, 1}}}}},
      {"a gap marker inside a channel gives no cell and no row",
       {Channel(1, {{T, 1}, {T + S, G}, {T + 2 * S, 3}})},
       {0},
       {{T, {{0, 0}}}, {T + 2 * S, {{0, 2}}}}},
      {"near-equal times share a row with the earliest time",
       {Channel(1, {{Near(0.5), 1}}), Channel(2, {{T, 2}})},
       {0, 1},
       {{T, {{0, 0}, {1, 0}}}}},
      {"near-equal times share a row, the lower channel being earlier",
       {Channel(1, {{T, 1}}), Channel(2, {{Near(0.9), 2}})},
       {0, 1},
       {{T, {{0, 0}, {1, 0}}}}},
      {"times just outside the tolerance open a new row",
       {Channel(1, {{Near(1.5), 1}}), Channel(2, {{T, 2}})},
       {0, 1},
       {{T, {{1, 0}}}, {Near(1.5), {{0, 0}}}}},
      {"the tolerance is measured from the row's first time",
       {Channel(1, {{T, 1}}), Channel(2, {{Near(0.6), 2}}), Channel(3, {{Near(1.2), 3}})},
       {0, 1, 2},
       {{T, {{0, 0}, {1, 0}}}, {Near(1.2), {{2, 0}}}}},
      {"two samples of one channel at one time give two adjacent cells",
       {Channel(1, {{T, 1}, {T, 2}}), Channel(2, {{T, 3}})},
       {0, 1},
       {{T, {{0, 0}, {0, 1}, {1, 0}}}}},
      {"two near-equal samples of one channel share a row in time order",
       {Channel(1, {{T, 1}, {Near(0.5), 2}}), Channel(2, {{Near(0.2), 3}})},
       {0, 1},
       {{T, {{0, 0}, {0, 1}, {1, 0}}}}},
      {"a channel whose times run backwards is taken in time order",
       {Channel(1, {{T + 2 * S, 1}, {T + S, G}, {T, 3}}), Channel(2, {{T, 4}, {T + 2 * S, 5}})},
       {0, 1},
       {{T, {{0, 2}, {1, 0}}}, {T + 2 * S, {{0, 0}, {1, 1}}}}},
      {"repeated times of an unordered channel keep sample order",
       {Channel(1, {{T + S, 1}, {T, 2}, {T + S, 3}, {Near(-0.4), 4}})},
       {0},
       {{Near(-0.4), {{0, 3}, {0, 1}}}, {T + S, {{0, 0}, {0, 2}}}}},
      {"only the listed columns are shown",
       {Channel(1, {{T, 1}}), Channel(2, {{T, 2}, {T + S, 3}}), Channel(3, {{T, 4}})},
       {0, 2},
       {{T, {{0, 0}, {2, 0}}}}},
      {"no columns give no rows", {Channel(1, {{T, 1}})}, {}, {}},
      {"an empty channel gives nothing",
       {Channel(1, {}), Channel(2, {{T, 1}})},
       {0, 1},
       {{T, {{1, 0}}}}},
      {"unset times of zero share a row",
       {Channel(1, {{0.0, 1}}), Channel(2, {{0.0, 2}, {T, 3}})},
       {0, 1},
       {{0.0, {{0, 0}, {1, 0}}}, {T, {{1, 1}}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Text(BuildTableRows(c.channels, c.columns)), Text(c.expected));
    EXPECT_EQ(Text(BuildTableRowsBySorting(c.channels, c.columns)), Text(c.expected));
  }
}

// Checks what every table must satisfy, independently of how it was built.
void ExpectTableRules(const std::vector<ChannelInfo>& channels,
                      const std::vector<std::int32_t>& columns, const TableRows& table) {
  std::set<std::pair<int, int>> seen;
  for (std::size_t r = 0; r < table.size(); ++r) {
    SCOPED_TRACE("row " + std::to_string(r));
    const DateTime rowTime = table.Time(r);
    const auto cells = table.Cells(r);
    ASSERT_FALSE(cells.empty());
    if (r + 1 < table.size()) {
      ASSERT_LT(rowTime, table.Time(r + 1));
      ASSERT_FALSE(RowTimesEqual(rowTime, table.Time(r + 1)));
    }
    DateTime earliest = 0.0;
    for (std::size_t k = 0; k < cells.size(); ++k) {
      const CellRef& cell = cells[k];
      ASSERT_TRUE(std::binary_search(columns.begin(), columns.end(), cell.channel));
      const ChannelInfo& channel = channels[static_cast<std::size_t>(cell.channel)];
      ASSERT_GE(cell.sampleIndex, 0);
      ASSERT_LT(static_cast<std::size_t>(cell.sampleIndex), channel.times.size());
      const auto i = static_cast<std::size_t>(cell.sampleIndex);
      const DateTime time = channel.times[i];
      EXPECT_FALSE(IsGapValue(channel.values[i]));
      EXPECT_TRUE(RowTimesEqual(time, rowTime)) << time << " in row of " << rowTime;
      EXPECT_GE(time, rowTime);
      if (r + 1 < table.size()) {
        EXPECT_LT(time, table.Time(r + 1));
      }
      earliest = k == 0 ? time : std::min(earliest, time);
      if (k > 0) {
        const CellRef& before = cells[k - 1];
        ASSERT_LE(before.channel, cell.channel);
        if (before.channel == cell.channel) {
          const DateTime previous = channel.times[static_cast<std::size_t>(before.sampleIndex)];
          EXPECT_TRUE(previous < time || (previous == time && before.sampleIndex < cell.sampleIndex));
        }
      }
      EXPECT_TRUE(seen.insert({cell.channel, cell.sampleIndex}).second)
          << "sample " << cell.channel << "/" << cell.sampleIndex << " shown twice";
    }
    EXPECT_EQ(rowTime, earliest);
  }
  std::size_t shown = 0;
  for (std::int32_t c : columns) {
    for (float v : channels[static_cast<std::size_t>(c)].values) shown += IsGapValue(v) ? 0 : 1;
  }
  EXPECT_EQ(seen.size(), shown);
  EXPECT_EQ(table.CellCount(), shown);
}

TEST(TableRowsTest, MergeAgreesWithSortingOnRandomDatasets) {
  std::mt19937 random(20100512);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  // Offsets from an instant, in row tolerances: identical, inside, and just outside.
  const double nearOffsets[] = {0.0, 0.0, 0.0, 0.3, 0.7, 0.99, 1.01, 1.3, 2.0, -0.5, -1.2};
  for (int round = 0; round < 3000; ++round) {
    const int channelCount = uniform(0, 7);
    const int instants = uniform(1, 12);
    std::vector<ChannelInfo> channels;
    for (int c = 0; c < channelCount; ++c) {
      std::vector<Sample> samples;
      const int kind = uniform(0, 9);
      const int length = kind == 0 ? 0 : uniform(1, 20);
      for (int i = 0; i < length; ++i) {
        const DateTime instant = T + uniform(0, instants - 1) * S;
        const double offset = nearOffsets[uniform(0, static_cast<int>(std::size(nearOffsets)) - 1)];
        const DateTime time = instant + offset * 1e-12 * instant;
        float value = static_cast<float>(uniform(-1000, 1000)) / 8.0f;
        switch (uniform(0, 9)) {
          case 0: value = G; break;
          case 1: value = -158.01f; break;
          default: break;
        }
        samples.push_back(Sample{time, value});
      }
      const auto byTime = [](const Sample& a, const Sample& b) { return a.time < b.time; };
      if (kind <= 4) {
        std::stable_sort(samples.begin(), samples.end(), byTime);  // as a recorder file gives them
      } else if (kind <= 6) {
        std::stable_sort(samples.begin(), samples.end(), byTime);
        std::reverse(samples.begin(), samples.end());
      } else if (kind == 7) {
        // Ascending, but with every sample repeated at its own time.
        std::stable_sort(samples.begin(), samples.end(), byTime);
        std::vector<Sample> doubled;
        for (const Sample& s : samples) {
          doubled.push_back(s);
          doubled.push_back(Sample{s.time, s.value + 1});
        }
        samples = doubled;
      }  // otherwise left in random order
      channels.push_back(Channel(static_cast<std::int16_t>(c + 1), samples));
    }
    std::vector<std::int32_t> columns;
    const bool all = uniform(0, 2) == 0;
    for (int c = 0; c < channelCount; ++c) {
      if (all || uniform(0, 1) == 1) columns.push_back(static_cast<std::int32_t>(c));
    }

    SCOPED_TRACE("round " + std::to_string(round));
    const TableRows merged = BuildTableRows(channels, columns);
    const TableRows sorted = BuildTableRowsBySorting(channels, columns);
    ASSERT_EQ(Text(merged), Text(sorted));
    ExpectTableRules(channels, columns, merged);
    // A filter's window, its edges on the instants or a little off them: the scan of each channel
    // (passing over samples before the window, stopping at the first one after it) must give the
    // same rows however the build finds the window's edges.
    const int a = uniform(0, instants - 1);
    const int b = uniform(a, instants - 1);
    const SampleWindow window{T + a * S + uniform(-1, 1) * 0.4 * kOneMillisecond,
                              T + b * S + uniform(-1, 1) * 0.4 * kOneMillisecond};
    ASSERT_EQ(Text(BuildTableRows(channels, columns, window)),
              Text(BuildTableRowsBySorting(channels, columns, window)))
        << "window " << a << ".." << b;
    if (HasFailure()) return;  // one failing dataset is enough to read
  }
}

// Recordings are built on the assumption that each channel's times ascend, checked as the rows
// grow; a channel that breaks it late, or times that are no numbers, must still give the rows of
// the straightforward method.
TEST(TableRowsTest, OrderBrokenLateOrTimesThatAreNoNumbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto together = [](int n, double from) {
    std::vector<Sample> samples;
    for (int i = 0; i < n; ++i) samples.push_back({from + i * S, static_cast<float>(i)});
    return samples;
  };
  auto with = [](std::vector<Sample> samples, std::size_t at, DateTime time) {
    samples.at(at).time = time;
    return samples;
  };
  struct Case {
    const char* name;
    std::vector<ChannelInfo> channels;
    std::size_t rows;  // rows expected
  };
  const Case cases[] = {
      {"channels together, then one steps back",
       {Channel(1, together(300, T)), Channel(2, with(together(300, T), 250, T + 3 * S))},
       300},
      {"the last sample steps back", {Channel(1, with(together(100, T), 99, T))}, 99},
      {"a time that is no number", {Channel(1, with(together(50, T), 20, nan))}, 49},
      {"an endless time", {Channel(1, with(together(50, T), 20, inf)), Channel(2, together(50, T))},
       50},
      {"times before 1899", {Channel(1, together(40, -30.0)), Channel(2, together(40, -30.0))}, 40},
      {"a first time of zero", {Channel(1, with(together(10, T), 0, 0.0))}, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::int32_t> columns;
    for (std::size_t i = 0; i < c.channels.size(); ++i) columns.push_back(static_cast<std::int32_t>(i));
    const TableRows merged = BuildTableRows(c.channels, columns);
    EXPECT_EQ(Text(merged), Text(BuildTableRowsBySorting(c.channels, columns)));
    EXPECT_EQ(merged.size(), c.rows);
  }

  // The same through a filter's window, which a channel taken in its own order finds by
  // bisection: a step back before, inside or after the window, a gap marker out of order, a
  // sample after the window inside it.
  const SampleWindow window{T + 10 * S, T + 60 * S};
  auto gapAt = [](std::vector<Sample> samples, std::size_t at, DateTime time) {
    samples.at(at) = Sample{time, G};
    return samples;
  };
  const std::vector<std::pair<const char*, std::vector<Sample>>> windowed = {
      {"in order", together(100, T)},
      {"a step back before the window", with(together(100, T), 5, T)},
      {"a step back inside", with(together(100, T), 30, T + 20 * S)},
      {"a step back after the end", with(together(100, T), 80, T + 20 * S)},
      {"the sample after the end steps back into the window", with(together(100, T), 61, T + 30 * S)},
      {"a sample past the end inside the window", with(together(100, T), 40, T + 70 * S)},
      {"a gap marker stepping back inside", gapAt(together(100, T), 30, T + 20 * S)},
      {"a gap marker past the end inside", gapAt(together(100, T), 30, T + 70 * S)},
      {"a gap marker with no time", gapAt(together(100, T), 30, nan)},
      {"a time that is no number before the window", with(together(100, T), 3, nan)},
      {"a first time of zero", with(together(100, T), 0, 0.0)},
  };
  for (const auto& [name, samples] : windowed) {
    SCOPED_TRACE(name);
    const std::vector<ChannelInfo> channels = {Channel(1, together(100, T)), Channel(2, samples)};
    EXPECT_EQ(Text(BuildTableRows(channels, {0, 1}, window)),
              Text(BuildTableRowsBySorting(channels, {0, 1}, window)));
    EXPECT_EQ(Text(BuildTableRows(channels, {1}, window)),
              Text(BuildTableRowsBySorting(channels, {1}, window)));
  }
}

TEST(TableRowsTest, ClearedTableBuildsAfresh) {
  TableRows table;
  table.OpenRow(T);
  table.AddCell({0, 0});
  table.AddCell({1, 0});
  table.CloseRow();
  table.clear();
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(table.CellCount(), 0u);
  table.OpenRow(T + S);
  table.AddCell({2, 5});
  table.CloseRow();
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.Time(0), T + S);
  ASSERT_EQ(table.Cells(0).size(), 1u);
  EXPECT_EQ(table.Cells(0)[0], (CellRef{2, 5}));
}

// The walk written as the value columns show it: the cell's "channel/sample", or "-".
std::string Walk(const std::vector<CellRef>& cells, const std::vector<std::int32_t>& columns) {
  std::vector<std::string> texts(columns.size(), "?");
  WalkRowCells(
      std::span<const CellRef>(cells), columns,
      [&](std::size_t column, const CellRef& cell) {
        std::string text = std::to_string(cell.channel);
        text += '/';
        text += std::to_string(cell.sampleIndex);
        texts.at(column) = std::move(text);
      },
      [&](std::size_t column) { texts.at(column).assign(1, '-'); });
  std::string out;
  for (const std::string& t : texts) {
    if (!out.empty()) out += ',';
    out += t;
  }
  return out;
}

TEST(TableRowsTest, WalkFindsEachColumnsCell) {
  struct Case {
    const char* name;
    std::vector<CellRef> cells;
    std::vector<std::int32_t> columns;
    const char* expected;
  };
  const Case cases[] = {
      {"a missing middle channel", {{0, 3}, {2, 4}}, {0, 1, 2}, "0/3,-,2/4"},
      {"every channel present", {{0, 1}, {1, 1}, {2, 1}}, {0, 1, 2}, "0/1,1/1,2/1"},
      {"no cells", {}, {0, 1, 2}, "-,-,-"},
      {"only the middle channel", {{1, 7}}, {0, 1, 2}, "-,1/7,-"},
      {"fewer cells than columns", {{0, 1}}, {0, 1, 2}, "0/1,-,-"},
      {"a duplicate cell does not hide later columns", {{0, 1}, {0, 2}, {1, 3}, {2, 4}}, {0, 1, 2},
       "0/1,1/3,2/4"},
      {"a duplicate in the middle", {{0, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 5}}, {0, 1, 2},
       "0/1,1/2,2/5"},
      {"a duplicate of the last column", {{2, 1}, {2, 2}}, {0, 1, 2}, "-,-,2/1"},
      {"a duplicate followed by a skipped column", {{0, 1}, {0, 2}, {3, 4}}, {0, 2, 3},
       "0/1,-,3/4"},
      {"columns of far channels", {{4, 1}, {9, 2}}, {1, 4, 9, 15}, "-,4/1,9/2,-"},
      {"no columns", {{0, 1}}, {}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Walk(c.cells, c.columns), c.expected) << c.name;
  }
}

TEST(TableRowsTest, WalkOfBuiltRowsShowsEveryChannelOnce) {
  // Channel 0 holds two samples at T: the row carries both, the walk shows the first, and
  // channels 1 and 2 still find their columns.
  const std::vector<ChannelInfo> channels = {Channel(1, {{T, 1}, {T, 2}}),
                                             Channel(2, {{T + S, 3}}),
                                             Channel(3, {{T, 4}, {T + S, 5}})};
  const std::vector<std::int32_t> columns = {0, 1, 2};
  const TableRows rows = BuildTableRows(channels, columns);
  ASSERT_EQ(rows.size(), 2u);
  const auto first = rows.Cells(0);
  EXPECT_EQ(Walk({first.begin(), first.end()}, columns), "0/0,-,2/0");
  const auto second = rows.Cells(1);
  EXPECT_EQ(Walk({second.begin(), second.end()}, columns), "-,1/0,2/1");
}

// A CSV import can create up to 65,536 channels: positions past 32,767 must stay what they are in
// the cells and in the walk, by both builds.
TEST(TableRowsTest, ChannelPositionsPast32767KeepTheirPlace) {
  constexpr int kChannels = 33000;
  std::vector<ChannelInfo> channels;
  channels.reserve(kChannels);
  std::vector<std::int32_t> columns;
  for (int c = 0; c < kChannels; ++c) {
    channels.push_back(Channel(static_cast<std::int16_t>(c + 1), {{T, static_cast<float>(c)}}));
    columns.push_back(c);
  }
  // Channel 32,768 (position 32,767 + 1) has a second sample a second later.
  channels[32768].times.push_back(T + S);
  channels[32768].values.push_back(1.0f);

  struct Build {
    const char* name;
    TableRows (*build)(const std::vector<ChannelInfo>&, const std::vector<std::int32_t>&);
  };
  for (const Build& b : {Build{"merge", BuildTableRows}, Build{"sort", BuildTableRowsBySorting}}) {
    SCOPED_TRACE(b.name);
    const TableRows rows = b.build(channels, columns);
    ASSERT_EQ(rows.size(), 2u);
    const auto cells = rows.Cells(0);
    ASSERT_EQ(cells.size(), static_cast<std::size_t>(kChannels));
    for (int c = 0; c < kChannels; ++c) {
      ASSERT_EQ(cells[static_cast<std::size_t>(c)], (CellRef{c, 0})) << c;
    }
    ASSERT_EQ(rows.Cells(1).size(), 1u);
    EXPECT_EQ(rows.Cells(1)[0], (CellRef{32768, 1}));

    std::size_t shown = 0;
    std::vector<std::size_t> missing;
    WalkRowCells(
        cells, columns,
        [&](std::size_t column, const CellRef& cell) {
          shown += static_cast<std::size_t>(cell.channel) == column;
        },
        [&](std::size_t column) { missing.push_back(column); });
    EXPECT_EQ(shown, static_cast<std::size_t>(kChannels));
    EXPECT_TRUE(missing.empty());
    const auto second = rows.Cells(1);
    EXPECT_EQ(Walk({second.begin(), second.end()}, {32767, 32768, 32999}), "-,32768/1,-");
  }
  static_assert(sizeof(CellRef) == 8, "a cell stays 8 bytes");
}

}  // namespace
}  // namespace vantiro
