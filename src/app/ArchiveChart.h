#pragma once
// The chart of a period too long to hold, drawn from the archive's summaries: each line through the
// means of its pixel columns with their lowest and highest values as a band, so that no spike is
// hidden at any width. (Plain C++: the window and vantiro-convert's pictures both draw it.)

#include <cstdint>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchivePeriods.h"  // the limit of an exact period
#include "chart/ChartLines.h"

namespace vantiro {

// The chart lines of an overview: per channel a point a pixel column at its mean, with the column's
// lowest and highest value as the line's band (ChartLine::bandLow/bandHigh), and a break where the
// archive holds nothing for more than two columns (or two of the samples' own steps). The gap points
// at `gapHeight`.
std::vector<ChartLine> OverviewLines(const std::vector<ChannelEnvelope>& envelopes,
                                     const std::vector<ChannelSummaryInfo>& channels, std::int64_t fromMs,
                                     std::int64_t toMs, int pixels, double gapHeight);

// The whole chart of such a period over [fromMs, toMs]: its lines, the time axis over the period,
// the value axis 10 beyond the lowest and highest value, the cursors where a load puts them. The
// summary gets the period's span and value range.
ChartFill OverviewFill(const std::vector<ChannelEnvelope>& envelopes, const std::vector<ChannelSummaryInfo>& channels,
                       std::int64_t fromMs, std::int64_t toMs, int pixels, DatasetSummary& summary);

}  // namespace vantiro
