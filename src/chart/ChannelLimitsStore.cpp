#include "chart/ChannelLimitsStore.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/Registry.h"

namespace vantiro {
namespace {

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::optional<double> ReadNumber(std::string_view text, bool& ok) {
  if (text.empty()) return std::nullopt;
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(v)) ok = false;
  return v;
}

std::string ValueName(const std::string& key) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (const unsigned char c : key) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char text[24];
  std::snprintf(text, sizeof text, "L%016llx", static_cast<unsigned long long>(h));
  return text;
}

}  // namespace

std::string LimitsText(const AlarmLimitsByChannel& limits) {
  std::string text;
  for (const auto& [number, l] : limits) {
    if (!l.upper && !l.lower) continue;
    if (!text.empty()) text += ';';
    text += std::to_string(number) + ':' + (l.upper ? Number(*l.upper) : "") + ':' +
            (l.lower ? Number(*l.lower) : "");
    // The event rules only when typed, so that the entry stays as before otherwise.
    if (l.deadband || l.minSeconds != 0.0) {
      text += ':' + (l.deadband ? Number(*l.deadband) : "") + ':' + Number(l.minSeconds);
    }
  }
  return text;
}

std::string LimitsText(const LimitsByChannel& limits) {
  return LimitsText(AlarmLimitsByChannel(limits.begin(), limits.end()));
}

AlarmLimitsByChannel ParseAlarmLimitsText(std::string_view text) {
  AlarmLimitsByChannel limits;
  while (!text.empty()) {
    const std::size_t end = text.find(';');
    std::string_view entry = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    // channel, upper, lower[, deadband, minimum]
    std::vector<std::string_view> fields;
    while (true) {
      const std::size_t colon = entry.find(':');
      fields.push_back(entry.substr(0, colon));
      if (colon == std::string_view::npos) break;
      entry = entry.substr(colon + 1);
    }
    if (fields.size() != 3 && fields.size() != 5) continue;
    bool ok = true;
    const std::optional<double> number = ReadNumber(fields[0], ok);
    AlarmLimits l;
    l.upper = ReadNumber(fields[1], ok);
    l.lower = ReadNumber(fields[2], ok);
    if (fields.size() == 5) {
      l.deadband = ReadNumber(fields[3], ok);
      const std::optional<double> minimum = ReadNumber(fields[4], ok);
      l.minSeconds = minimum.value_or(0.0);
      if ((l.deadband && *l.deadband < 0.0) || l.minSeconds < 0.0) ok = false;
    }
    if (!ok || !number || *number != std::floor(*number) || *number < 1 || *number > 9999) continue;
    if (!l.upper && !l.lower) continue;
    limits[static_cast<int>(*number)] = l;
  }
  return limits;
}

LimitsByChannel ParseLimitsText(std::string_view text) {
  const AlarmLimitsByChannel read = ParseAlarmLimitsText(text);
  return LimitsByChannel(read.begin(), read.end());
}

std::string FileLimitsKey(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return "file:" + (ec ? path : absolute.lexically_normal().string());
}

std::string ArchiveLimitsKey(const std::string& archive, const std::string& recorder) {
  // An archive file by its absolute path (a server's address as it is written).
  std::string location = archive;
  std::error_code ec;
  if (archive.find("://") == std::string::npos && archive.find('=') == std::string::npos &&
      std::filesystem::exists(archive, ec)) {
    const std::filesystem::path absolute = std::filesystem::absolute(archive, ec);
    if (!ec) location = absolute.lexically_normal().string();
  }
  return "archive:" + location + '\n' + recorder;
}

AlarmLimitsByChannel LoadAlarmLimits(const std::string& key) {
  const std::optional<std::string> text = ReadRegistryString(kLimitsKey, ValueName(key));
  return text ? ParseAlarmLimitsText(*text) : AlarmLimitsByChannel{};
}

LimitsByChannel LoadLimits(const std::string& key) {
  const AlarmLimitsByChannel read = LoadAlarmLimits(key);
  return LimitsByChannel(read.begin(), read.end());
}

bool SaveAlarmLimits(const std::string& key, const AlarmLimitsByChannel& limits) {
  if (!OpenOrCreateRegistryKey(kLimitsKey)) return false;
  return WriteRegistryString(kLimitsKey, ValueName(key), LimitsText(limits));
}

bool SaveLimits(const std::string& key, const LimitsByChannel& limits) {
  return SaveAlarmLimits(key, AlarmLimitsByChannel(limits.begin(), limits.end()));
}

}  // namespace vantiro
