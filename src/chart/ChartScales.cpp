#include "chart/ChartScales.h"

#include <cmath>

namespace vantiro {

std::string_view ChartScaleName(ChartScale scale) {
  switch (scale) {
    case ChartScale::Range:
      return "按量程";
    case ChartScale::Unit:
      return "按单位分轴";
    case ChartScale::Single:
      break;
  }
  return "统一坐标";
}

std::optional<ChartScale> ParseChartScale(std::string_view word) {
  if (word == "single") return ChartScale::Single;
  if (word == "range") return ChartScale::Range;
  if (word == "unit") return ChartScale::Unit;
  return std::nullopt;
}

ValueMap MakeValueMap(double low, double high) {
  if (!std::isfinite(low) || !std::isfinite(high)) return ValueMap{};
  if (low > high) std::swap(low, high);
  if (!(high - low > std::abs(low) * 1e-9) || !std::isfinite(high - low)) {
    return ValueMap{low - 0.5, low + 0.5};
  }
  return ValueMap{low, high};
}

std::vector<UnitGroup> GroupLinesByUnit(const std::vector<std::string>& units) {
  std::vector<UnitGroup> groups;
  for (std::size_t i = 0; i < units.size(); ++i) {
    UnitGroup* group = nullptr;
    for (UnitGroup& g : groups) {
      if (g.unit == units[i]) group = &g;
    }
    if (!group) {
      groups.push_back(UnitGroup{units[i], {}});
      group = &groups.back();
    }
    group->lines.push_back(i);
  }
  return groups;
}

}  // namespace vantiro
