#pragma once
// The chart's three value scales: one shared axis ("统一坐标"), each line against its channel's
// range on an axis of 0-100 % ("按量程"), and one axis per unit, each fitted to its lines
// ("按单位分轴"). Whatever the scale, a line's points keep their real values: a line is drawn
// against an axis of its own whose window follows the shared axis through the line's map, so
// that zoom, scroll, cursors and their limits all work on the shared axis as before.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantiro {

enum class ChartScale { Single, Range, Unit };

// "统一坐标", "按量程", "按单位分轴".
std::string_view ChartScaleName(ChartScale scale);
// The command line's names: "single", "range", "unit"; nothing for another word.
std::optional<ChartScale> ParseChartScale(std::string_view word);

// The shared axis of the range and unit scales: 0..100 with a little room above and below, so a
// line at its range's ends stays off the frame; labelled every 10.
inline constexpr double kPercentAxisMin = -5.0;
inline constexpr double kPercentAxisMax = 105.0;
inline constexpr double kPercentAxisStep = 10.0;

// A line's values mapped onto the shared axis: `low` to 0 and `high` to 100.
struct ValueMap {
  double low = 0.0;
  double high = 100.0;
  double ToShared(double value) const { return (value - low) / (high - low) * 100.0; }
  double FromShared(double shared) const { return low + shared / 100.0 * (high - low); }
  friend bool operator==(const ValueMap&, const ValueMap&) = default;
};

// The map of a range; a range of no height (a constant line) gets one unit around its value, one
// that is no number 0..100.
ValueMap MakeValueMap(double low, double high);

// Lines grouped by unit for the unit scale, in the order each unit first appears; lines with no
// unit form a group of their own.
struct UnitGroup {
  std::string unit;
  std::vector<std::size_t> lines;
};
std::vector<UnitGroup> GroupLinesByUnit(const std::vector<std::string>& units);

}  // namespace vantiro
