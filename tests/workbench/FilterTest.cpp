#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "chart/ChartLines.h"
#include "recorder/DateTime.h"
#include "workbench/TableRows.h"
#include "workbench/ViewModel.h"
#include "support/ChannelSamples.h"

namespace vantiro {
namespace {

const DateTime T = *EncodeDateTime(2010, 8, 5, 10, 0, 0);
constexpr DateTime S = kOneSecond;
constexpr DateTime Ms = kOneMillisecond;
constexpr float G = GapValue;

using testing::Channel;
using testing::Sample;

DatasetSummary Summary(const std::vector<ChannelInfo>& channels) {
  DatasetSummary summary;
  summary.rangeMin = -100;
  summary.rangeMax = 100;
  summary.startTime = T;
  summary.endTime = T + 60 * S;
  for (const ChannelInfo& c : channels) summary.sampleCount += static_cast<std::int64_t>(c.times.size());
  return summary;
}

FilterSettings Settings(DateTime from, DateTime to, std::uint32_t rowsPerPage = 500) {
  FilterSettings settings;
  settings.channelSelected.fill(true);
  settings.filterStart = from;
  settings.filterEnd = to;
  settings.rowsPerPage = rowsPerPage;
  return settings;
}

// "channel/sample ..." per row, one row a line.
std::string Cells(const TableRows& rows) {
  std::string out;
  char buffer[24];
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (const CellRef& cell : rows.Cells(r)) {
      std::snprintf(buffer, sizeof buffer, " %d/%d", static_cast<int>(cell.channel),
                    static_cast<int>(cell.sampleIndex));
      out += buffer;
    }
    out += '\n';
  }
  return out;
}

std::vector<std::string> Captions(const TableView& table) {
  std::vector<std::string> captions;
  for (const TableColumn& column : table.columns) captions.push_back(column.caption);
  return captions;
}

class CountingProgress : public ProgressSink {
 public:
  void SetMax(int value) override { max = value; }
  void StepBy(int steps) override { position += steps; }
  int max = -1;
  int position = 0;
};

TEST(FilterTest, BothWindowEdgesAreInsideWithTheMillisecondTolerance) {
  // Window [T + 10 s, T + 20 s]; each case is one sample of one channel.
  struct Case {
    const char* name;
    DateTime time;
    bool shown;
  };
  const DateTime from = T + 10 * S;
  const DateTime to = T + 20 * S;
  const Case cases[] = {
      {"well before", T, false},
      {"2 ms before the start", from - 2 * Ms, false},
      {"half a millisecond before the start", from - 0.5 * Ms, true},
      {"at the start", from, true},
      {"in the middle", T + 15 * S, true},
      {"at the end", to, true},
      {"half a millisecond after the end", to + 0.5 * Ms, true},
      {"2 ms after the end", to + 2 * Ms, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<ChannelInfo> channels = {Channel(1, "mA", {{c.time, 1.5f}})};
    const LoadView view = BuildFilteredViewModel(channels, Summary(channels), Settings(from, to));
    EXPECT_EQ(view.table.rows.size(), c.shown ? 1u : 0u);
    ASSERT_EQ(view.chart.lines.size(), 1u);
    EXPECT_EQ(view.chart.lines[0].points.size(), c.shown ? 1u : 0u);
  }
}

TEST(FilterTest, AChannelSubsetKeepsItsColumnsAndDropsRowsOfTheOthers) {
  // Channels 1, 2, 3: at T all three, at T + 1 s only channel 2, at T + 2 s channels 2 and 3.
  const std::vector<ChannelInfo> channels = {
      Channel(1, "mA", {{T, 1}}),
      Channel(2, "V", {{T, 2}, {T + S, 2}, {T + 2 * S, 2}}),
      Channel(3, "℃", {{T, 3}, {T + 2 * S, 3}}),
  };
  FilterSettings settings = Settings(T, T + 10 * S);
  settings.channelSelected[1] = false;  // channel number 2
  const LoadView view = BuildFilteredViewModel(channels, Summary(channels), settings);
  EXPECT_EQ(Captions(view.table),
            (std::vector<std::string>{"序号", "时间", "通道1(mA)", "通道3(℃)"}));
  EXPECT_EQ(view.table.columns[2].width, 70);
  EXPECT_EQ(view.table.columnChannels, (decltype(view.table.columnChannels){0, 2}));
  EXPECT_EQ(Cells(view.table.rows), " 0/0 2/0\n 2/1\n");
  EXPECT_EQ(view.table.rows.Time(1), T + 2 * S);
  // The chart has the lines of channels 1 and 3, in the colours of their positions.
  ASSERT_EQ(view.chart.lines.size(), 2u);
  EXPECT_EQ(view.chart.lines[0].title, "通道01");
  EXPECT_EQ(view.chart.lines[0].palettePosition, 0u);
  EXPECT_EQ(view.chart.lines[1].title, "通道03");
  EXPECT_EQ(view.chart.lines[1].palettePosition, 2u);

  // The dataset stays: a wider filter brings channel 2 back.
  const LoadView all = BuildFilteredViewModel(channels, Summary(channels), Settings(T, T + 10 * S));
  EXPECT_EQ(Cells(all.table.rows), " 0/0 1/0 2/0\n 1/1\n 1/2 2/1\n");
  EXPECT_EQ(all.chart.lines.size(), 3u);
}

TEST(FilterTest, ChannelNumbersOutsideOneToSixteenAreNeverSelected) {
  const std::vector<ChannelInfo> channels = {
      Channel(20, "mA", {{T, 1}}), Channel(16, "V", {{T, 2}}), Channel(0, "V", {{T, 3}}),
      Channel(-3, "V", {{T, 4}}), Channel(17, "V", {{T, 5}}),
  };
  const LoadView view =
      BuildFilteredViewModel(channels, Summary(channels), Settings(T - S, T + S));
  EXPECT_EQ(Captions(view.table), (std::vector<std::string>{"序号", "时间", "通道16(V)"}));
  EXPECT_EQ(Cells(view.table.rows), " 1/0\n");
  ASSERT_EQ(view.chart.lines.size(), 1u);
  EXPECT_EQ(view.chart.lines[0].title, "通道16");

  std::array<bool, 16> all{};
  all.fill(true);
  EXPECT_FALSE(IsChannelSelected(channels[0], all));
  EXPECT_TRUE(IsChannelSelected(channels[1], all));
  EXPECT_FALSE(IsChannelSelected(channels[2], all));
  EXPECT_FALSE(IsChannelSelected(channels[3], all));
  EXPECT_FALSE(IsChannelSelected(channels[4], all));
}

TEST(FilterTest, NothingMatchingStillGivesTheColumnsAnEmptyPageAndEmptyLines) {
  const std::vector<ChannelInfo> channels = {
      Channel(1, "mA", {{T, 1}, {T + S, 2}}),
      Channel(2, "V", {{T, 1}, {T + S, G}}),
      Channel(3, "V", {{T + 2 * S, G}}),
  };
  struct Case {
    const char* name;
    FilterSettings settings;
    std::vector<std::string> captions;
    std::size_t lines;
  };
  FilterSettings none = Settings(T, T + 10 * S);
  none.channelSelected.fill(false);
  FilterSettings onlyGaps = Settings(T + 2 * S, T + 10 * S);
  onlyGaps.channelSelected.fill(false);
  onlyGaps.channelSelected[2] = true;
  const Case cases[] = {
      {"no channel selected", none, {"序号", "时间"}, 0},
      {"a window after every sample", Settings(T + 5 * S, T + 10 * S),
       {"序号", "时间", "通道1(mA)", "通道2(V)", "通道3(V)"}, 3},
      {"a window before every sample", Settings(T - 10 * S, T - S),
       {"序号", "时间", "通道1(mA)", "通道2(V)", "通道3(V)"}, 3},
      {"only a gap inside the window", onlyGaps, {"序号", "时间", "通道3(V)"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LoadView view = BuildFilteredViewModel(channels, Summary(channels), c.settings);
    EXPECT_EQ(Captions(view.table), c.captions);
    EXPECT_TRUE(view.table.rows.empty());
    EXPECT_EQ(view.table.page, FirstPageAfterBuild(0, 500));
    EXPECT_EQ(view.table.page.itemCount, 0u);
    EXPECT_FALSE(view.table.page.buttons.next);
    EXPECT_FALSE(view.table.page.buttons.last);
    ASSERT_EQ(view.chart.lines.size(), c.lines);
    for (const ChartLine& line : view.chart.lines) {
      if (std::string(c.name) == "only a gap inside the window") {
        EXPECT_EQ(line.points.size(), 1u);  // the gap point, drawn as such
      } else {
        EXPECT_TRUE(line.points.empty());
      }
    }
    EXPECT_EQ(view.chart.bottom.min, c.settings.filterStart);
    EXPECT_EQ(view.chart.bottom.max, c.settings.filterEnd);
  }
}

TEST(FilterTest, AChannelsScanStopsAtItsFirstSampleAfterTheWindow) {
  // Channel 1 comes back into the window after a sample past it (times out of order, as a CSV
  // import can leave them); channel 2 has samples before the window after ones inside it.
  const std::vector<ChannelInfo> channels = {
      Channel(1, "mA", {{T + 2 * S, 1}, {T + 3 * S, 2}, {T + 30 * S, 3}, {T + 4 * S, 4}}),
      Channel(2, "V", {{T + S, 1}, {T + 5 * S, 2}, {T - 10 * S, 3}, {T + 6 * S, 4}}),
      // Its first sample inside the window is a gap marker, the next one lies before the window.
      Channel(3, "V", {{T - 20 * S, 1}, {T + 7 * S, G}, {T - 5 * S, 2}, {T + 8 * S, 3}}),
  };
  const LoadView view =
      BuildFilteredViewModel(channels, Summary(channels), Settings(T, T + 10 * S));
  // Channel 1 shows its first two samples only; channels 2 and 3 all but those before the
  // window (and the gap marker).
  EXPECT_EQ(Cells(view.table.rows), " 1/0\n 0/0\n 0/1\n 1/1\n 1/3\n 2/3\n");
  ASSERT_EQ(view.chart.lines.size(), 3u);
  EXPECT_EQ(view.chart.lines[0].points.size(), 2u);
  EXPECT_EQ(view.chart.lines[1].points.size(), 3u);
  EXPECT_EQ(view.chart.lines[2].points.size(), 2u);  // the gap point and the last sample
}

TEST(FilterTest, RowsInsideAWindowAgreeWithTheStraightforwardMethod) {
  std::mt19937 random(20100805);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  for (int round = 0; round < 2000; ++round) {
    const int channelCount = uniform(0, 6);
    std::vector<ChannelInfo> channels;
    for (int c = 0; c < channelCount; ++c) {
      std::vector<Sample> samples;
      const int length = uniform(0, 25);
      for (int i = 0; i < length; ++i) {
        // Times on a millisecond grid around the window's ends, so that the tolerance matters.
        const DateTime time = T + uniform(0, 20) * S + uniform(-3, 3) * 0.5 * Ms;
        const float value = uniform(0, 7) == 0 ? G : static_cast<float>(uniform(-100, 100));
        samples.push_back(Sample{time, value});
      }
      if (uniform(0, 3) != 0) {
        std::stable_sort(samples.begin(), samples.end(),
                         [](const Sample& a, const Sample& b) { return a.time < b.time; });
      }
      channels.push_back(Channel(static_cast<std::int16_t>(c + 1), "V", samples));
    }
    std::vector<std::int32_t> columns;
    for (int c = 0; c < channelCount; ++c) {
      if (uniform(0, 3) != 0) columns.push_back(c);
    }
    const DateTime from = T + uniform(0, 10) * S;
    const SampleWindow window{from, from + uniform(0, 10) * S};

    SCOPED_TRACE("round " + std::to_string(round));
    const TableRows merged = BuildTableRows(channels, columns, window);
    const TableRows sorted = BuildTableRowsBySorting(channels, columns, window);
    ASSERT_EQ(Cells(merged), Cells(sorted));
    for (std::size_t r = 0; r < merged.size(); ++r) {
      ASSERT_EQ(merged.Time(r), sorted.Time(r));
      for (const CellRef& cell : merged.Cells(r)) {
        const DateTime t = channels[static_cast<std::size_t>(cell.channel)]
                               .times[static_cast<std::size_t>(cell.sampleIndex)];
        EXPECT_NE(CompareTimes(t, window.from), -1);
        EXPECT_NE(CompareTimes(t, window.to), 1);
      }
    }

    // The filter's chart, drawn while the table is built and drawn again when the table's build
    // finds a channel out of order, is the scan of each window.
    FilterSettings settings = Settings(window.from, window.to);
    settings.channelSelected.fill(false);
    for (std::int32_t c : columns) settings.channelSelected[static_cast<std::size_t>(c)] = true;
    const DatasetSummary summary = Summary(channels);
    const LoadView view = BuildFilteredViewModel(channels, summary, settings);
    ChartScope scope;
    scope.channelSelected = settings.channelSelected;
    scope.from = window.from;
    scope.to = window.to;
    scope.sampleCount = CountScopeSamples(channels, scope.channelSelected, scope.from, scope.to);
    const ChartFill scanned = FillChart(channels, summary, scope);
    ASSERT_EQ(view.chart.lines.size(), scanned.lines.size());
    EXPECT_EQ(view.chart.thinning, scanned.thinning);
    for (std::size_t l = 0; l < scanned.lines.size(); ++l) {
      ASSERT_EQ(view.chart.lines[l].points.size(), scanned.lines[l].points.size()) << "line " << l;
      for (std::size_t i = 0; i < scanned.lines[l].points.size(); ++i) {
        ASSERT_EQ(view.chart.lines[l].points[i].x, scanned.lines[l].points[i].x) << l << "/" << i;
        ASSERT_EQ(view.chart.lines[l].points[i].y, scanned.lines[l].points[i].y) << l << "/" << i;
      }
    }
  }
}

TEST(FilterTest, TheFirstPageFollowsTheRowsPerPage) {
  std::vector<Sample> samples;
  for (int i = 0; i < 300; ++i) samples.push_back({T + i * S, static_cast<float>(i)});
  const std::vector<ChannelInfo> channels = {Channel(1, "mA", samples)};
  struct Case {
    DateTime to;
    std::uint32_t rowsPerPage;
    std::uint32_t itemCount;
    bool more;
  };
  const Case cases[] = {
      {T + 99 * S, 100, 100, false},   // 100 rows, one page
      {T + 100 * S, 100, 100, true},   // 101 rows
      {T + 299 * S, 10000, 300, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rowsPerPage);
    const LoadView view =
        BuildFilteredViewModel(channels, Summary(channels), Settings(T, c.to, c.rowsPerPage));
    EXPECT_EQ(view.table.page.pageStart, 0u);
    EXPECT_EQ(view.table.page.itemCount, c.itemCount);
    EXPECT_EQ(view.table.page.buttons,
              (PageButtons{false, false, c.more, c.more}));
  }
}

TEST(FilterTest, ThinningCountsTheSamplesInsideTheWindowGapsIncluded) {
  // 1,000,001 samples of which two are gap markers, one a millisecond apart; a wider dataset
  // around them does not count.
  constexpr int kInside = 1000001;
  ChannelInfo channel;
  channel.number = 1;
  channel.unit = "V";
  channel.times.reserve(kInside + 20);
  channel.values.reserve(kInside + 20);
  for (int i = -10; i < kInside + 10; ++i) {
    channel.times.push_back(T + i * Ms * 2);
    channel.values.push_back(i == 5 || i == 7 ? G : 1.0f);
  }
  const std::vector<ChannelInfo> channels = {channel};
  const DateTime from = T;
  const DateTime to = T + (kInside - 1) * Ms * 2;
  EXPECT_EQ(BuildFilteredViewModel(channels, Summary(channels), Settings(from, to)).chart.thinning,
            2);
  EXPECT_EQ(BuildFilteredViewModel(channels, Summary(channels), Settings(from + 2 * Ms, to))
                .chart.thinning,
            1);
}

TEST(FilterTest, ProgressGoesToOneStepPerChannelAndOneAtTheEnd) {
  const std::vector<ChannelInfo> channels = {Channel(1, "mA", {{T, 1}}), Channel(2, "V", {{T, 2}}),
                                             Channel(30, "V", {{T, 3}})};
  FilterSettings settings = Settings(T, T + S);
  settings.channelSelected[0] = false;
  CountingProgress progress;
  BuildFilteredViewModel(channels, Summary(channels), settings, &progress);
  EXPECT_EQ(progress.max, 4);
  EXPECT_EQ(progress.position, 4);
}

}  // namespace
}  // namespace vantiro
