#include "chart/ui/ChartParts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vantiro {
namespace {

constexpr int kBoxGap = 4;  // between the check box and the line sample

}  // namespace

CheckableLegendItem::CheckableLegendItem(QCPLegend* legend, QCPAbstractPlottable* plottable)
    : QCPPlottableLegendItem(legend, plottable) {
  setSelectable(false);
}

int CheckableLegendItem::BoxSize() const { return std::max(8, QFontMetrics(mFont).height() - 4); }

QRect CheckableLegendItem::CheckBoxRect() const {
  const int box = BoxSize();
  return QRect(mRect.left(), mRect.center().y() - box / 2, box, box);
}

void CheckableLegendItem::draw(QCPPainter* painter) {
  const QRect box = CheckBoxRect();
  painter->setAntialiasing(false);
  painter->setPen(QPen(mTextColor, 1));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(box.adjusted(0, 0, -1, -1));
  if (mPlottable->visible()) {
    // A tick mark.
    const QPointF a(box.left() + box.width() * 0.2, box.top() + box.height() * 0.5);
    const QPointF b(box.left() + box.width() * 0.42, box.top() + box.height() * 0.75);
    const QPointF c(box.left() + box.width() * 0.8, box.top() + box.height() * 0.22);
    painter->setPen(QPen(mTextColor, 2));
    painter->drawLine(a, b);
    painter->drawLine(b, c);
  }
  // The line sample in the line's own pen, then the title.
  const QSize icon = mParentLegend->iconSize();
  const QRect iconRect(box.right() + 1 + kBoxGap, mRect.center().y() - icon.height() / 2,
                       icon.width(), icon.height());
  QPen pen = mPlottable->pen();
  pen.setWidth(2);
  painter->setPen(pen);
  painter->drawLine(QLineF(iconRect.left(), iconRect.center().y(), iconRect.right(), iconRect.center().y()));
  painter->setFont(mFont);
  painter->setPen(mTextColor);
  const int textLeft = iconRect.right() + 1 + mParentLegend->iconTextPadding();
  painter->drawText(QRect(textLeft, mRect.top(), mRect.right() - textLeft + 1, mRect.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, mPlottable->name());
}

QSize CheckableLegendItem::minimumOuterSizeHint() const {
  const QFontMetrics metrics(mFont);
  const QSize icon = mParentLegend->iconSize();
  const int width = BoxSize() + kBoxGap + icon.width() + mParentLegend->iconTextPadding() +
                    metrics.horizontalAdvance(mPlottable->name());
  const int height = std::max(metrics.height(), icon.height());
  return QSize(width + mMargins.left() + mMargins.right(),
               height + mMargins.top() + mMargins.bottom());
}

LegendPagerItem::LegendPagerItem(QCPLegend* legend) : QCPAbstractLegendItem(legend) {
  setSelectable(false);
}

void LegendPagerItem::draw(QCPPainter* painter) {
  painter->setFont(mFont);
  painter->setPen(mTextColor);
  painter->drawText(mRect, Qt::AlignLeft | Qt::AlignVCenter, text_);
}

QSize LegendPagerItem::minimumOuterSizeHint() const {
  const QFontMetrics metrics(mFont);
  // One row per line of the text (the second cursor's line under the first's).
  int width = 0;
  for (const QString& line : text_.split(QLatin1Char('\n'))) width = std::max(width, metrics.horizontalAdvance(line));
  return QSize(width + mMargins.left() + mMargins.right(),
               metrics.height() * Lines() + mMargins.top() + mMargins.bottom());
}

LegendTitleItem::LegendTitleItem(QCPLegend* legend) : QCPAbstractLegendItem(legend) {
  setSelectable(false);
}

void LegendTitleItem::draw(QCPPainter* painter) {
  if (text_.isEmpty()) return;
  painter->setFont(mFont);
  painter->setPen(mTextColor);
  painter->drawText(mRect, Qt::AlignLeft | Qt::AlignVCenter, text_);
}

QSize LegendTitleItem::minimumOuterSizeHint() const {
  if (text_.isEmpty()) return QSize(0, 0);
  const QFontMetrics metrics(mFont);
  // One row per line of the text (the second cursor's line under the first's).
  int width = 0;
  for (const QString& line : text_.split(QLatin1Char('\n'))) width = std::max(width, metrics.horizontalAdvance(line));
  return QSize(width + mMargins.left() + mMargins.right(),
               metrics.height() * Lines() + mMargins.top() + mMargins.bottom());
}

namespace {

// A time's milliseconds are whole numbers well inside what a double holds exactly up to here
// (some 30,000 years either side of 1970).
constexpr double kLargestMilliseconds = 1e15;
// The range comes from day numbers, good to about a microsecond: a tick this close outside an edge
// stands on it.
constexpr double kEdgeMilliseconds = 0.01;
// More ticks than this come from a step the ticker would not take: the plotting library decides.
constexpr double kMostTicks = 10000;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

void StepDateTimeTicker::generate(const QCPRange& range, const QLocale& locale, QChar formatChar,
                                  int precision, QVector<double>& ticks, QVector<double>* subTicks,
                                  QVector<QString>* tickLabels) {
  const double step = std::round(getTickStep(range) * 1000.0);  // also picks the date strategy
  const double lower = range.lower * 1000.0 - kEdgeMilliseconds;
  const double upper = range.upper * 1000.0 + kEdgeMilliseconds;
  const double origin = std::round(mTickOrigin * 1000.0);
  if (mDateStrategy != dsNone || !(step >= 1.0) || !(std::abs(lower) < kLargestMilliseconds) ||
      !(std::abs(upper) < kLargestMilliseconds) || !(std::abs(origin) < kLargestMilliseconds) ||
      !(lower <= upper) || (upper - lower) / step > kMostTicks) {
    StepTicker<QCPAxisTickerDateTime>::generate(range, locale, formatChar, precision, ticks, subTicks,
                                                tickLabels);
    return;
  }
  const auto stepMs = static_cast<std::int64_t>(step);
  const auto originMs = static_cast<std::int64_t>(origin);
  milliseconds_ = stepMs % 1000 != 0;
  const auto fromMs = static_cast<std::int64_t>(std::ceil(lower));
  const auto toMs = static_cast<std::int64_t>(std::floor(upper));
  // The first multiple of the step at or after the start, and on by whole steps.
  const std::int64_t first = originMs - FloorDiv(originMs - fromMs, stepMs) * stepMs;
  ticks.clear();
  for (std::int64_t ms = first; ms <= toMs; ms += stepMs) {
    ticks.push_back(static_cast<double>(ms) / 1000.0);
  }
  if (subTicks) subTicks->clear();
  if (tickLabels) *tickLabels = createLabelVector(ticks, locale, formatChar, precision);
}

QString StepDateTimeTicker::getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                                         int precision) {
  const double ms = std::round(tick * 1000.0);
  if (dateTimeSpec() != Qt::UTC || !(std::abs(ms) < kLargestMilliseconds)) {
    return StepTicker<QCPAxisTickerDateTime>::getTickLabel(tick, locale, formatChar, precision);
  }
  return locale.toString(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::UTC),
                         milliseconds_ ? dateTimeFormat() + QStringLiteral(".zzz") : dateTimeFormat());
}

int ValueLabelDecimals(double step) {
  if (!(step > 0.0) || step >= 1.0 || !std::isfinite(step)) return 0;
  for (int d = 1; d < 6; ++d) {
    const double scaled = step * std::pow(10.0, d);
    if (std::fabs(scaled - std::round(scaled)) < 1e-6 * scaled) return d;
  }
  return 6;
}

ChartFrame::ChartFrame(QCustomPlot* plot, QCPAxisRect* axisRect, const QString& layer)
    : QCPLayerable(plot, layer), axisRect_(axisRect) {}

void ChartFrame::applyDefaultAntialiasingHint(QCPPainter* painter) const {
  painter->setAntialiasing(false);
}

// The plot clips what a layer draws to the clip rectangle moved up by one pixel; without the
// extra row the frame's bottom edge would lose the chart's last row.
QRect ChartFrame::clipRect() const { return mParentPlot->viewport().adjusted(0, 0, 0, 1); }

void ChartFrame::draw(QCPPainter* painter) {
  const QColor border(0, 60, 0);
  painter->setPen(QPen(border, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(QRectF(mParentPlot->viewport()).adjusted(1, 1, -1, -1));
  painter->drawRect(QRectF(axisRect_->rect()).adjusted(0, 0, 0, 0));
}

void ColumnGraph::drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const {
  if (painter->pen().style() == Qt::NoPen || painter->pen().color().alpha() == 0 || lines.size() < 2) return;
  if (painter->pen().widthF() > 1.0 || painter->pen().style() != Qt::SolidLine) {
    QCPGraph::drawLinePlot(painter, lines);
    return;
  }
  applyDefaultAntialiasingHint(painter);
  QVector<QLineF> strokes;
  strokes.reserve(lines.size());
  // On a picture the columns' spans are filled as rectangles of a pixel's width (much cheaper
  // than lines for the rasterizer); a vector device (a PDF) gets lines.
  const bool raster = !painter->modes().testFlag(QCPPainter::pmVectorized) && !painter->antialiasing();
  QVector<QRect> spans;
  const QColor colour = painter->pen().color();
  const QPointF* p = lines.constData();
  const qsizetype n = lines.size();
  qsizetype i = 0;
  bool joined = false;  // the previous column joins this one
  double previousX = 0.0, previousLow = 0.0, previousHigh = 0.0, previousLast = 0.0;
  while (i < n) {
    if (qIsNaN(p[i].y()) || qIsNaN(p[i].x())) {  // a gap: the line breaks
      joined = false;
      ++i;
      continue;
    }
    // The run of points in the pixel column of p[i].
    const double column = std::floor(p[i].x());
    const double x = p[i].x();
    double low = p[i].y(), high = p[i].y();
    qsizetype j = i + 1;
    while (j < n && !qIsNaN(p[j].y()) && std::floor(p[j].x()) == column) {
      low = std::min(low, p[j].y());
      high = std::max(high, p[j].y());
      ++j;
    }
    if (j - i == 1 && (!joined || std::floor(previousX) != column - 1 || previousLow == previousHigh)) {
      // A point of a sparse stretch: joined to the one before as the polyline joins them.
      if (joined) strokes.append(QLineF(previousX, previousLast, x, p[i].y()));
    } else {
      // The column's span, joined to the previous column across the rows between them only.
      if (j - i > 1) {
        if (raster) {
          const int top = qRound(low), bottom = qRound(high);
          spans.append(QRect(qRound(x), top, 1, bottom - top + 1));
        } else {
          strokes.append(QLineF(x, low, x, high));
        }
      }
      if (joined) {
        if (previousHigh < low) {
          strokes.append(QLineF(previousX, previousHigh, x, low));
        } else if (previousLow > high) {
          strokes.append(QLineF(previousX, previousLow, x, high));
        } else if (j - i == 1 && std::floor(previousX) != column - 1) {
          strokes.append(QLineF(previousX, previousLast, x, p[i].y()));
        }
      }
    }
    previousX = x;
    previousLow = low;
    previousHigh = high;
    previousLast = p[j - 1].y();
    joined = true;
    i = j;
  }
  painter->drawLines(strokes);
  if (!spans.isEmpty()) {
    const QPen pen = painter->pen();
    const QBrush brush = painter->brush();
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawRects(spans);
    painter->setPen(pen);
    painter->setBrush(brush);
  }
}

}  // namespace vantiro
