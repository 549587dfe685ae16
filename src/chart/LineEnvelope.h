#pragma once
// A line with more samples than pixels drawn as its envelope: per pixel column the first, lowest,
// highest and last sample (in the order they come), so that the drawn line is the one every sample
// would draw at that width, spikes included, from at most four points a column. The thinning of a
// long recording draws every k-th sample instead and can miss a one-sample excursion.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "recorder/Dataset.h"

namespace vantiro {

struct EnvelopePoint {
  DateTime x;
  double y;
  bool gap;  // a break of the line (a gap sample)
};

// The lowest and highest value of every block of kBlock samples of a line, and whether a block
// holds a value that may be a gap sample: made once for a line, it spares the envelopes of its
// windows most of the samples of a wide column.
struct EnvelopeIndex {
  static constexpr std::size_t kBlock = 32;
  std::vector<float> low;
  std::vector<float> high;
  std::vector<std::uint8_t> suspect;  // a value near the gap value, or no number
};
EnvelopeIndex MakeEnvelopeIndex(const float* values, std::size_t n);

// The envelope of the samples `times`/`values` (ascending times) within [x0, x1] over `pixels`
// columns, with the sample just outside either end kept so that the line runs to the edge. A gap
// sample becomes a break point where it lies. Empty for no samples or no pixels. `index`, when
// given, is the line's MakeEnvelopeIndex (the same points, sooner).
std::vector<EnvelopePoint> LineEnvelope(const DateTime* times, const float* values, std::size_t n, DateTime x0,
                                        DateTime x1, int pixels, const EnvelopeIndex* index = nullptr);

}  // namespace vantiro
