#include "archive/ArchivePeriods.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vantiro {
namespace {

constexpr std::int64_t kDay = 86400000;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Civil date <-> days since 1970-01-01 (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
  std::int64_t year;
  unsigned month, day;
};
Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

}  // namespace

std::int64_t ExactPeriodLimit() {
  const char* text = std::getenv("VANTIRO_OVERVIEW_ABOVE");
  if (!text || !*text) return kExactPeriodSamples;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value <= 0) return kExactPeriodSamples;
  return value;
}

ArchiveSpan QuickPeriodSpan(QuickPeriod which, std::int64_t nowMs, const std::vector<ArchiveSpan>& coverage) {
  const std::int64_t today = FloorDiv(nowMs, kDay);
  const Civil civil = CivilFromDays(today);
  switch (which) {
    case QuickPeriod::Today:
      return {today * kDay, (today + 1) * kDay - 1};
    case QuickPeriod::Yesterday:
      return {(today - 1) * kDay, today * kDay - 1};
    case QuickPeriod::ThisWeek: {
      // 1970-01-01 was a Thursday: days since a Monday are (days + 3) mod 7.
      const std::int64_t monday = today - ((today % 7 + 7 + 3) % 7);
      return {monday * kDay, (monday + 7) * kDay - 1};
    }
    case QuickPeriod::ThisMonth: {
      const std::int64_t first = DaysFromCivil(civil.year, civil.month, 1);
      const std::int64_t next =
          civil.month == 12 ? DaysFromCivil(civil.year + 1, 1, 1) : DaysFromCivil(civil.year, civil.month + 1, 1);
      return {first * kDay, next * kDay - 1};
    }
    case QuickPeriod::LastMonth: {
      const std::int64_t first =
          civil.month == 1 ? DaysFromCivil(civil.year - 1, 12, 1) : DaysFromCivil(civil.year, civil.month - 1, 1);
      const std::int64_t next = DaysFromCivil(civil.year, civil.month, 1);
      return {first * kDay, next * kDay - 1};
    }
    case QuickPeriod::All:
      if (coverage.empty()) return {today * kDay, (today + 1) * kDay - 1};
      return {coverage.front().firstMs, coverage.back().lastMs};
  }
  return {today * kDay, (today + 1) * kDay - 1};
}

void StripView::Fit(const std::vector<ArchiveSpan>& coverage) {
  if (coverage.empty()) {
    SetWindow(0, kDay);
    return;
  }
  const std::int64_t first = coverage.front().firstMs;
  const std::int64_t last = coverage.back().lastMs;
  const std::int64_t margin = std::max<std::int64_t>((last - first) / 40, 3600000);
  SetWindow(first - margin, last + margin);
}

void StripView::SetWindow(std::int64_t fromMs, std::int64_t toMs) {
  if (toMs < fromMs) std::swap(fromMs, toMs);
  std::int64_t span = std::clamp(toMs - fromMs, kNarrowestMs, kWidestMs);
  const std::int64_t centre = fromMs / 2 + toMs / 2;
  from_ = centre - span / 2;
  to_ = from_ + span;
}

void StripView::Zoom(double factor, double x, int width) {
  if (width <= 0 || !(factor > 0.0)) return;
  const std::int64_t anchor = TimeAt(x, width);
  const double span = static_cast<double>(to_ - from_);
  const double wanted = std::clamp(span * factor, static_cast<double>(kNarrowestMs), static_cast<double>(kWidestMs));
  const double left = (x / width) * wanted;
  from_ = anchor - static_cast<std::int64_t>(left);
  to_ = from_ + static_cast<std::int64_t>(wanted);
}

void StripView::Pan(double dx, int width) {
  if (width <= 0) return;
  const auto shift = static_cast<std::int64_t>(dx / width * static_cast<double>(to_ - from_));
  from_ -= shift;
  to_ -= shift;
}

double StripView::X(std::int64_t ms, int width) const {
  return static_cast<double>(ms - from_) / static_cast<double>(to_ - from_) * width;
}

std::int64_t StripView::TimeAt(double x, int width) const {
  if (width <= 0) return from_;
  return from_ + static_cast<std::int64_t>(x / width * static_cast<double>(to_ - from_));
}

std::vector<StripTick> StripTicks(const StripView& view, int width, int minimumPixels) {
  std::vector<StripTick> ticks;
  if (width <= 0) return ticks;
  const double msPerPixel = static_cast<double>(view.To() - view.From()) / width;
  const double step = msPerPixel * std::max(minimumPixels, 1);
  char text[32];
  const std::int64_t firstDay = FloorDiv(view.From(), kDay);
  if (step <= 12 * 3600000.0) {
    // Hours: 1, 2, 3, 6 or 12 of them.
    std::int64_t hours = 1;
    for (const std::int64_t h : {1, 2, 3, 6, 12}) {
      hours = h;
      if (h * 3600000.0 >= step) break;
    }
    const std::int64_t every = hours * 3600000;
    for (std::int64_t t = FloorDiv(view.From(), every) * every; t <= view.To(); t += every) {
      if (t < view.From()) continue;
      const std::int64_t inDay = t - FloorDiv(t, kDay) * kDay;
      if (inDay == 0) {
        const Civil c = CivilFromDays(FloorDiv(t, kDay));
        std::snprintf(text, sizeof text, "%02u-%02u", c.month, c.day);
      } else {
        std::snprintf(text, sizeof text, "%02lld:00", static_cast<long long>(inDay / 3600000));
      }
      ticks.push_back({t, text});
    }
  } else if (step <= 15.0 * kDay) {
    // Days: 1, 2, 7 or 14 of them (weeks from Mondays).
    std::int64_t days = 1;
    for (const std::int64_t d : {1, 2, 7, 14}) {
      days = d;
      if (static_cast<double>(d * kDay) >= step) break;
    }
    std::int64_t day = firstDay;
    if (days >= 7) day -= (day % 7 + 7 + 3) % 7;
    for (; day * kDay <= view.To(); day += days) {
      if (day * kDay < view.From()) continue;
      const Civil c = CivilFromDays(day);
      std::snprintf(text, sizeof text, "%02u-%02u", c.month, c.day);
      ticks.push_back({day * kDay, text});
    }
  } else if (step <= 200.0 * kDay) {
    // Months: 1, 2, 3 or 6 of them.
    int months = 1;
    for (const int m : {1, 2, 3, 6}) {
      months = m;
      if (m * 30.5 * kDay >= step) break;
    }
    Civil c = CivilFromDays(firstDay);
    std::int64_t index = c.year * 12 + (c.month - 1);
    index -= index % months;
    for (;; index += months) {
      const std::int64_t year = FloorDiv(index, 12);
      const unsigned month = static_cast<unsigned>(index - year * 12 + 1);
      const std::int64_t t = DaysFromCivil(year, month, 1) * kDay;
      if (t > view.To()) break;
      if (t < view.From()) continue;
      std::snprintf(text, sizeof text, month == 1 ? "%lld" : "%lld-%02u", static_cast<long long>(year), month);
      ticks.push_back({t, text});
    }
  } else {
    // Years: 1, 2, 5 or 10 of them.
    int years = 1;
    for (const int y : {1, 2, 5, 10}) {
      years = y;
      if (y * 365.25 * kDay >= step) break;
    }
    std::int64_t year = CivilFromDays(firstDay).year;
    year -= ((year % years) + years) % years;
    for (;; year += years) {
      const std::int64_t t = DaysFromCivil(year, 1, 1) * kDay;
      if (t > view.To()) break;
      if (t < view.From()) continue;
      std::snprintf(text, sizeof text, "%lld", static_cast<long long>(year));
      ticks.push_back({t, text});
    }
  }
  return ticks;
}

std::optional<ResolvedPeriod> ResolvePeriod(Archive& archive, std::int64_t recorderId, const std::string& recorder,
                                            const std::vector<int>& wanted, std::int64_t fromMs, std::int64_t toMs,
                                            std::string& error) {
  ResolvedPeriod period;
  period.recorderId = recorderId;
  if (period.recorderId == 0) {
    const std::optional<RecorderInfo> found = archive.FindRecorder(recorder, error);
    if (!found) return std::nullopt;
    period.recorderId = found->id;
  }
  const std::optional<std::vector<ChannelSummaryInfo>> infos = archive.Channels(period.recorderId, error);
  if (!infos) return std::nullopt;
  for (const ChannelSummaryInfo& info : *infos) {
    if (wanted.empty() || std::find(wanted.begin(), wanted.end(), info.number) != wanted.end()) {
      period.channels.push_back(info);
      period.numbers.push_back(info.number);
    }
  }
  if (period.numbers.empty()) {
    error = "该记录仪没有所选的通道。";
    return std::nullopt;
  }
  period.fromMs = fromMs;
  period.toMs = toMs;
  if (fromMs <= kPeriodOpenStart || toMs >= kPeriodOpenEnd) {
    const std::optional<std::vector<ArchiveSpan>> coverage = archive.Coverage(period.recorderId, error);
    if (!coverage) return std::nullopt;
    if (coverage->empty()) {
      error = "该记录仪在档案中没有数据。";
      return std::nullopt;
    }
    if (fromMs <= kPeriodOpenStart) period.fromMs = coverage->front().firstMs;
    if (toMs >= kPeriodOpenEnd) period.toMs = coverage->back().lastMs;
  }
  const std::optional<std::int64_t> count =
      archive.CountSamplesExactly(period.recorderId, period.fromMs, period.toMs, period.numbers, error);
  if (!count) return std::nullopt;
  period.samples = *count;
  return period;
}

}  // namespace vantiro
