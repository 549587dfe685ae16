#pragma once
// The periods the archive browser offers and the coverage strip's view, as plain rules: the quick
// periods (今天, 昨天, 本周, 本月, 上月, 全部) on the recorder's wall clock, and the strip's window of
// time zoomed with the wheel and dragged.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"

namespace vantiro {

enum class QuickPeriod { Today, Yesterday, ThisWeek, ThisMonth, LastMonth, All };

// The period, [firstMs, lastMs] both included, of `which` for the wall-clock time `nowMs` (archive
// milliseconds). A week starts on Monday. All: from the first to the last time `coverage` covers
// (nothing covered: today).
ArchiveSpan QuickPeriodSpan(QuickPeriod which, std::int64_t nowMs, const std::vector<ArchiveSpan>& coverage);

// A period of a recorder made definite, as the window and vantiro-convert open one.
struct ResolvedPeriod {
  std::int64_t recorderId = 0;
  std::vector<ChannelSummaryInfo> channels;  // those asked for that the recorder has, ascending
  std::vector<int> numbers;                  // their numbers
  std::int64_t fromMs = 0;
  std::int64_t toMs = 0;
  std::int64_t samples = 0;                  // within the period (CountSamplesExactly)
};
// A period with more samples than this is shown in overview (16 channels at one a second: 36 days;
// its samples would take some 600 MB as a dataset).
inline constexpr std::int64_t kExactPeriodSamples = 50'000'000;
// The limit in use: $VANTIRO_OVERVIEW_ABOVE when it is a positive whole number (a PC with less
// memory, or a test), kExactPeriodSamples otherwise.
std::int64_t ExactPeriodLimit();
// Whether a period of `samples` opens in overview under `limit` rather than as its exact samples.
inline bool OpensInOverview(std::int64_t samples, std::int64_t limit) { return samples > limit; }

// Open ends of a period as the callers write them: from the recorder's first, to its last time.
inline constexpr std::int64_t kPeriodOpenStart = INT64_MIN / 4;
inline constexpr std::int64_t kPeriodOpenEnd = INT64_MAX / 4;
// The recorder (`recorderId`, or found by `recorder` when 0), the channels of `wanted` it has (all
// when empty), the period's ends (an open end the recorder's first or last time) and its samples.
// Nothing, with `error`, when the archive cannot be read, the recorder is not there, none of the
// channels is, or the recorder holds nothing.
std::optional<ResolvedPeriod> ResolvePeriod(Archive& archive, std::int64_t recorderId, const std::string& recorder,
                                            const std::vector<int>& wanted, std::int64_t fromMs, std::int64_t toMs,
                                            std::string& error);

// The coverage strip's window of time over `width` pixels.
class StripView {
 public:
  static constexpr std::int64_t kNarrowestMs = 3600000;            // an hour
  static constexpr std::int64_t kWidestMs = 30LL * 366 * 86400000;  // thirty years

  // The whole of `coverage` with a margin (a day around nothing).
  void Fit(const std::vector<ArchiveSpan>& coverage);
  void SetWindow(std::int64_t fromMs, std::int64_t toMs);
  // Zooms by `factor` (below 1: in) keeping the time under pixel `x` where it is.
  void Zoom(double factor, double x, int width);
  // Moves the window by `dx` pixels (a drag to the right shows earlier times).
  void Pan(double dx, int width);

  std::int64_t From() const { return from_; }
  std::int64_t To() const { return to_; }
  double X(std::int64_t ms, int width) const;
  std::int64_t TimeAt(double x, int width) const;

 private:
  std::int64_t from_ = 0;
  std::int64_t to_ = 86400000;
};

// Where the strip's labels go for its window: round times (hours, days, months or years) at least
// `minimumPixels` apart, each with its text ("2025", "2025-03", "03-14", "14:00").
struct StripTick {
  std::int64_t ms;
  std::string text;
};
std::vector<StripTick> StripTicks(const StripView& view, int width, int minimumPixels);

}  // namespace vantiro
