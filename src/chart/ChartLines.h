#pragma once
// What the trend chart shows of a dataset, as plain data: one line per channel with its points in
// stored order, the two axis windows with their label steps, and where the cursors start. Built on
// the load or filter worker; the chart widget turns it into drawn lines on the GUI thread.

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "recorder/Dataset.h"

namespace vantiro {

// The 16 line colours, by a channel's position in the dataset.
struct Rgb {
  std::uint8_t r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr std::array<Rgb, 16> SeriesPalette = {{
    {255, 255, 255},  // white
    {255, 0, 0},      // red
    {255, 255, 0},    // yellow
    {0, 255, 0},      // lime
    {0, 0, 255},      // blue
    {255, 0, 255},    // fuchsia
    {0, 255, 255},    // aqua
    {192, 192, 192},  // silver
    {0, 128, 0},      // green
    {128, 0, 0},      // maroon
    {0, 128, 128},    // teal
    {128, 128, 128},  // grey
    {128, 128, 0},    // olive
    {128, 0, 128},    // purple
    {160, 160, 164},  // medium grey
    {166, 202, 240},  // sky blue
}};
// A line at position 16 or later (CSV imports may hold more channels) goes round the palette again.
inline Rgb PaletteColour(std::size_t position) { return SeriesPalette[position % SeriesPalette.size()]; }

inline constexpr double kTimeSpanLimit = 1.0 / 8640.0;      // 10 s: narrower windows freeze
inline constexpr double kValueSpanLimit = 0.01;
inline constexpr double kLabelStepFactor = 0.1;            // label step: a tenth of the span
inline constexpr double kValueMargin = 10.0;               // the left axis runs 10 beyond the data
inline constexpr std::int64_t kThinningThreshold = 1000000;

// A time window is narrower than the 10 s limit only when it falls short of it by more than 10 us.
// Its span is the difference of two times near 40,000 days, good to some 1e-11 of a day: a file of
// exactly 10 s can come out a rounding short and must not count as narrower.
inline constexpr double kTimeSpanRounding = kOneMillisecond / 100;
inline bool NarrowerThanTimeLimit(double span) { return span < kTimeSpanLimit - kTimeSpanRounding; }
inline bool NarrowerThanValueLimit(double span) { return span < kValueSpanLimit; }

// Above a million samples only every k-th sample of a channel is drawn.
int ThinningFactor(std::int64_t samples);

// Where a gap sample is drawn (and recognised by the read-out): 10 below the lowest value.
inline double GapHeight(const DatasetSummary& summary) {
  return static_cast<double>(summary.rangeMin) - kValueMargin;
}

struct ChartPoint {
  DateTime x;
  double y;
};

// One chart line: its points in the order they were added, gap points at the gap height. A gap
// point is known by its index in `gaps`, never by its height: a real sample may lie at the gap
// height too (a CSV import whose lowest value came second within the comparison's tolerance).
struct ChartLine {
  std::string title;   // "通道%0.2d"
  std::string unit;    // empty for live lines
  std::vector<UnitSince> unitChanges;  // the channel's, when its unit changed within the samples
  std::size_t palettePosition = 0;
  std::vector<ChartPoint> points;
  std::vector<std::size_t> gaps;  // the indexes of the gap points, ascending
  // A line drawn from summaries (an overview of the archive): per point the lowest and highest value
  // it stands for, drawn as a band around the line; empty for a line of samples.
  std::vector<float> bandLow;
  std::vector<float> bandHigh;
  bool HasBand() const { return !points.empty() && bandLow.size() == points.size() && bandHigh.size() == points.size(); }
  DateTime minX = 0.0;  // smallest and largest X; meaningful when there are points
  DateTime maxX = 0.0;
  bool ascending = true;  // no point lies before the one added before it

  void Append(DateTime x, double y) {
    if (points.empty()) {
      minX = maxX = x;
    } else {
      if (!(x >= points.back().x)) ascending = false;
      if (x < minX) minX = x;
      if (x > maxX) maxX = x;
    }
    points.push_back({x, y});
    timeOrder_.clear();
  }
  // A gap sample: a point that breaks the line, drawn at height `y`.
  void AppendGap(DateTime x, double y) {
    gaps.push_back(points.size());
    Append(x, y);
  }
  bool IsGap(std::size_t index) const;
  void Clear();

  // For a line whose times go back: its point indexes in time order, equal times in stored order
  // (points without a time last). Made when first asked for and kept until a point is added; the
  // fills make it on their worker, so that the read-out finds it ready. Not for two threads at once.
  const std::vector<std::uint32_t>& TimeOrder() const;

 private:
  mutable std::vector<std::uint32_t> timeOrder_;
};

// "通道%0.2d": 通道03.
std::string LineTitle(int number);
// The channel number a line's title ends in ("通道03", "二号炉 通道03": 3); 0 when none.
int LineChannelNumber(const std::string& title);

// A live line grown past its cap, made smaller so that the whole session stays on the chart: the
// newest `keepExact` points as they are, the older ones as `olderColumns` columns of equal time
// (fewer where a column holds nothing), each drawn at its first time with the mean of its values
// and a band from its lowest to its highest (a column of an earlier overview keeps its band). A
// column never spans a gap point: gap points stay as they are. The band of the exact points is
// the point itself. The title, unit and colour stay.
ChartLine CompactLiveLine(const ChartLine& line, std::size_t keepExact, std::size_t olderColumns);

// What the main window keeps of a line: its title as created, the channel's unit and the line's
// place in the chart.
struct ChartSeriesInfo {
  std::string title;
  std::string unit;
  std::size_t series = 0;
};

struct AxisWindow {
  double min = 0.0;
  double max = 0.0;
  double increment = 0.0;  // label step
};

// Everything a fill decides, in the order the chart applies it.
struct ChartFill {
  std::vector<ChartLine> lines;
  AxisWindow bottom;  // DateTime
  AxisWindow left;
  bool freezeTimeWindow = false;  // the bottom window is narrower than 10 s
  DateTime cursorX = 0.0;         // where the fill puts the vertical cursor
  double cursorY1 = 0.0;
  double cursorY2 = 0.0;
  double gapHeight = 0.0;  // the height of the lines' gap points
  int thinning = 1;
  // The lines stand for the samples of the dataset's channels (line i's palette position is its
  // channel's place) within [readFrom, readTo]: the read-out reads the recorded samples there, not
  // the drawn points. False for lines drawn from anything else (an overview's summaries).
  bool fromSamples = false;
  DateTime readFrom = -std::numeric_limits<double>::infinity();
  DateTime readTo = std::numeric_limits<double>::infinity();
};

// The lines of every channel over [startTime, endTime], thinned by the sample count.
ChartFill FillChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary);

// A narrower scope: the selected channel numbers (1..16; others are never selected), the window
// [from, to] (times within 1 ms count as equal) and the number of samples in it.
struct ChartScope {
  std::array<bool, 16> channelSelected{};
  DateTime from = 0.0;
  DateTime to = 0.0;
  std::int64_t sampleCount = 0;
};
ChartFill FillChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                    const ChartScope& scope);

// The narrower fill as the filter makes it: the samples inside the window counted first (they set
// the thinning), then the lines; each channel's window is found once for both.
ChartFill FillChartInWindow(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                            const std::array<bool, 16>& channelSelected, DateTime from, DateTime to);
// The same fill for channels whose times are known to ascend up to their window's end, the sample
// after it lying after the window (as the filter's table build finds out): each window found by
// bisection, the order not looked at. For other channels its lines are not the filter's.
ChartFill FillChartInBisectedWindow(const std::vector<ChannelInfo>& channels,
                                    const DatasetSummary& summary,
                                    const std::array<bool, 16>& channelSelected, DateTime from,
                                    DateTime to);

// The lines drawn as their envelopes (the switch "峰值包络"): per pixel column the first, lowest,
// highest and last sample (LineEnvelope), so that a spike of one sample shows at any width. A line
// whose times go back keeps the thinned points (an envelope needs time order).
//   `pixels` the columns across [from, to]; `selected` the channels drawn (all when null).
//   `index` the channel's MakeEnvelopeIndex when kept (the same line, sooner); a caller that gives
//   it has found the channel's times ascending.
struct EnvelopeIndex;
ChartLine EnvelopeChartLine(const ChannelInfo& channel, std::size_t position, DateTime from, DateTime to,
                            int pixels, double gapHeight, int thinning, const EnvelopeIndex* index = nullptr);
ChartFill FillChartEnvelope(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary, DateTime from,
                            DateTime to, int pixels, const std::array<bool, 16>* selected = nullptr,
                            std::int64_t sampleCount = -1);
// The chart's page width, the columns an envelope is made for before the chart is on screen.
inline constexpr int kEnvelopeColumns = 1282;

// The samples of the selected channels inside [from, to], gap samples included: the count that
// sets a narrower fill's thinning.
std::int64_t CountScopeSamples(const std::vector<ChannelInfo>& channels,
                               const std::array<bool, 16>& channelSelected, DateTime from,
                               DateTime to);

}  // namespace vantiro
