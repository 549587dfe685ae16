#pragma once
// Two readings of the same input must agree to the bit: the summary and every channel's entries.

#include <cstring>
#include <vector>

#include "recorder/Dataset.h"

namespace vantiro::fuzz {

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
inline bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool SameDataset(const DatasetSummary& sa, const std::vector<ChannelInfo>& ca,
                        const DatasetSummary& sb, const std::vector<ChannelInfo>& cb) {
  if (!SameBits(sa.rangeMax, sb.rangeMax) || !SameBits(sa.rangeMin, sb.rangeMin) ||
      !SameBits(sa.startTime, sb.startTime) || !SameBits(sa.endTime, sb.endTime) ||
      sa.sampleCount != sb.sampleCount || ca.size() != cb.size()) {
    return false;
  }
  for (std::size_t i = 0; i < ca.size(); ++i) {
    const ChannelInfo& a = ca[i];
    const ChannelInfo& b = cb[i];
    if (a.number != b.number || a.unit != b.unit || a.times.size() != b.times.size() ||
        a.values.size() != b.values.size()) {
      return false;
    }
    for (std::size_t k = 0; k < a.times.size(); ++k) {
      if (!SameBits(a.times[k], b.times[k])) return false;
    }
    for (std::size_t k = 0; k < a.values.size(); ++k) {
      if (!SameBits(a.values[k], b.values[k])) return false;
    }
  }
  return true;
}

}  // namespace vantiro::fuzz
