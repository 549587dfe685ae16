#include "app/ArchiveChart.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vantiro {

std::vector<ChartLine> OverviewLines(const std::vector<ChannelEnvelope>& envelopes,
                                     const std::vector<ChannelSummaryInfo>& channels, std::int64_t fromMs,
                                     std::int64_t toMs, int pixels, double gapHeight) {
  std::vector<ChartLine> lines;
  const double column = pixels > 0 ? static_cast<double>(toMs - fromMs) / pixels : 0.0;
  for (std::size_t p = 0; p < channels.size(); ++p) {
    ChartLine line;
    line.title = LineTitle(channels[p].number);
    line.unit = channels[p].unit;
    line.palettePosition = p;
    const auto found = std::find_if(envelopes.begin(), envelopes.end(),
                                    [&](const ChannelEnvelope& e) { return e.number == channels[p].number; });
    if (found != envelopes.end()) {
      const std::vector<EnvelopeBucket>& buckets = found->buckets;
      // The usual distance between two buckets holding values: a column, or the samples' own step
      // where that is wider.
      std::int64_t step = 0;
      for (std::size_t b = 1; b < buckets.size(); ++b) {
        const std::int64_t apart = buckets[b].startMs - buckets[b - 1].startMs;
        if (apart > 0 && (step == 0 || apart < step)) step = apart;
      }
      const double usual = std::max(column, static_cast<double>(step));
      for (std::size_t b = 0; b < buckets.size(); ++b) {
        const EnvelopeBucket& bucket = buckets[b];
        if (bucket.count <= 0) continue;
        if (!line.points.empty() && b > 0) {
          // Nothing held for more than two usual distances: a break.
          const std::int64_t apart = bucket.startMs - buckets[b - 1].startMs;
          if (static_cast<double>(apart) > 2.0 * usual + 1.0) {
            line.AppendGap(FromArchiveMs(buckets[b - 1].startMs + apart / 2), gapHeight);
            line.bandLow.push_back(static_cast<float>(gapHeight));
            line.bandHigh.push_back(static_cast<float>(gapHeight));
          }
        }
        // The column's mean on the line, its lowest and highest values as the band around it.
        line.Append(FromArchiveMs(bucket.startMs), bucket.mean);
        line.bandLow.push_back(static_cast<float>(bucket.min));
        line.bandHigh.push_back(static_cast<float>(bucket.max));
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

ChartFill OverviewFill(const std::vector<ChannelEnvelope>& envelopes, const std::vector<ChannelSummaryInfo>& channels,
                       std::int64_t fromMs, std::int64_t toMs, int pixels, DatasetSummary& summary) {
  bool any = false;
  float low = 0.0f;
  float high = 0.0f;
  for (const ChannelEnvelope& e : envelopes) {
    for (const EnvelopeBucket& b : e.buckets) {
      if (b.count <= 0) continue;
      low = any ? std::min(low, static_cast<float>(b.min)) : static_cast<float>(b.min);
      high = any ? std::max(high, static_cast<float>(b.max)) : static_cast<float>(b.max);
      any = true;
    }
  }
  summary.rangeMin = low;
  summary.rangeMax = high;
  summary.startTime = FromArchiveMs(fromMs);
  summary.endTime = FromArchiveMs(toMs);
  ChartFill fill;
  fill.gapHeight = GapHeight(summary);
  fill.lines = OverviewLines(envelopes, channels, fromMs, toMs, pixels, fill.gapHeight);
  const DateTime from = summary.startTime;
  const DateTime to = summary.endTime;
  fill.bottom = {from, to, (to - from) * kLabelStepFactor};
  const double bottom = static_cast<double>(low) - kValueMargin;
  const double top = static_cast<double>(high) + kValueMargin;
  fill.left = {bottom, top, (top - bottom) * kLabelStepFactor};
  fill.freezeTimeWindow = NarrowerThanTimeLimit(to - from);
  fill.cursorX = from;
  fill.cursorY1 = high;
  fill.cursorY2 = low;
  return fill;
}

}  // namespace vantiro
