#include "chart/ChannelLimitsStore.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

std::string LimitsText(const LimitsByChannel& limits) {
  std::string text;
  for (const auto& [number, l] : limits) {
    if (!l.upper && !l.lower) continue;
    if (!text.empty()) text += ';';
    text += std::to_string(number) + ':' + (l.upper ? Number(*l.upper) : "") + ':' +
            (l.lower ? Number(*l.lower) : "");
  }
  return text;
}

LimitsByChannel ParseLimitsText(std::string_view text) {
  LimitsByChannel limits;
  while (!text.empty()) {
    const std::size_t end = text.find(';');
    const std::string_view entry = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const std::size_t first = entry.find(':');
    if (first == std::string_view::npos) continue;
    const std::size_t second = entry.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    bool ok = true;
    const std::optional<double> number = ReadNumber(entry.substr(0, first), ok);
    ChannelLimits l;
    l.upper = ReadNumber(entry.substr(first + 1, second - first - 1), ok);
    l.lower = ReadNumber(entry.substr(second + 1), ok);
    if (!ok || !number || *number != std::floor(*number) || *number < 1 || *number > 9999) continue;
    if (!l.upper && !l.lower) continue;
    limits[static_cast<int>(*number)] = l;
  }
  return limits;
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

LimitsByChannel LoadLimits(const std::string& key) {
  const std::optional<std::string> text = ReadRegistryString(kLimitsKey, ValueName(key));
  return text ? ParseLimitsText(*text) : LimitsByChannel{};
}

bool SaveLimits(const std::string& key, const LimitsByChannel& limits) {
  if (!OpenOrCreateRegistryKey(kLimitsKey)) return false;
  return WriteRegistryString(kLimitsKey, ValueName(key), LimitsText(limits));
}

}  // namespace vantiro
