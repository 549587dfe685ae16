#pragma once
// Channels of a dataset written in a test as (time, value) pairs.

#include <cstdint>
#include <string>
#include <vector>

#include "recorder/Dataset.h"

namespace vantiro::testing {

struct Sample {
  DateTime time;
  float value;
};

inline ChannelInfo Channel(std::int16_t number, const std::string& unit,
                           const std::vector<Sample>& samples) {
  ChannelInfo channel;
  channel.number = number;
  channel.unit = unit;
  for (const Sample& s : samples) {
    channel.times.push_back(s.time);
    channel.values.push_back(s.value);
  }
  return channel;
}

}  // namespace vantiro::testing
