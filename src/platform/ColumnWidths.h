#pragma once
// The widths of a table's columns when each should show its texts whole: every column as wide as
// it needs while they all fit; when they do not, the narrow ones keep their widths and the wide
// ones share what is left alike (their texts are then cut and shown whole some other way).

#include <vector>

namespace vantiro {

// `needed` is each column's width for its widest text; `available` the table's width; no column
// is made narrower than `minimum` (nor than it needs, when it needs less), so the sum may exceed
// `available` when even that does not fit. Negative inputs count as 0.
std::vector<int> FitColumnWidths(const std::vector<int>& needed, int available, int minimum);

}  // namespace vantiro
