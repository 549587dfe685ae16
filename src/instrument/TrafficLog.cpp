#include "instrument/TrafficLog.h"

#include <chrono>
#include <cstdio>
#include <utility>

namespace vantiro {
namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += byte;
  }
  return text;
}

}  // namespace

std::string TrafficText(const TrafficEntry& entry) {
  const std::string time = FormatDateTime(entry.time, DatePattern::Cursor);
  // The clock of the day with milliseconds: the date part of the cursor's pattern is left out.
  const std::string clock = time.size() > 11 ? time.substr(11) : time;
  char millis[8];
  const double dayMs = (entry.time - static_cast<double>(static_cast<long long>(entry.time))) * 86400000.0;
  std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(static_cast<long long>(dayMs + 0.5) % 1000));
  const std::string stamp = clock + millis;
  std::string text = stamp + " \xE2\x86\x92 " + Hex(entry.request) + "\n";  // →
  text += std::string(stamp.size(), ' ') + " \xE2\x86\x90 " + Hex(entry.reply);  // ←
  text += (entry.reply.empty() ? "(" : " (") + entry.outcome + ")\n";
  return text;
}

void TrafficLog::Add(TrafficEntry entry) {
  std::function<void(const TrafficEntry&)> listener;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entry.number = next_++;
    entries_.push_back(entry);
    while (entries_.size() > kTrafficEntries) entries_.pop_front();
    listener = listener_;
  }
  if (listener) {
    std::lock_guard<std::mutex> lock(listening_);
    listener(entry);
  }
}

std::vector<TrafficEntry> TrafficLog::Since(std::uint64_t after) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TrafficEntry> out;
  for (const TrafficEntry& entry : entries_) {
    if (entry.number > after) out.push_back(entry);
  }
  return out;
}

void TrafficLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

void TrafficLog::SetListener(std::function<void(const TrafficEntry&)> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = std::move(listener);
}

DateTime TrafficNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 1000;
  return LocalNow() + static_cast<double>(ms) * kOneMillisecond;
}

TrafficLog& InstrumentTraffic() {
  static TrafficLog log;
  return log;
}

}  // namespace vantiro
