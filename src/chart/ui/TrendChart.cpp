#include "chart/ui/TrendChart.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "chart/ui/ChartParts.h"
#include "platform/ui/Fonts.h"

namespace vantiro {
namespace {

const QColor kAxisColour(0, 65, 0);
const QColor kTickColour(0, 150, 0);
const QColor kLegendFrameColour(0, 120, 0);
const QColor kZoomRectColour(255, 255, 0);
const QColor kVerticalCursorColour(0, 128, 255);
const QColor kHorizontalCursorColour(0, 127, 255);
const QColor kSecondCursorColour(120, 110, 255);  // the second vertical cursor: a violet blue
constexpr double kLegendTopFraction = 0.04;  // above the legend, and at least as much below it
constexpr int kLegendWheelEntries = 3;       // entries a notch of the wheel scrolls the legend
constexpr int kWheelNotch = 120;
// The smallest window the bottom axis shows: a recording of one instant gets a second around it.
constexpr double kSmallestKeySpan = 1e-3;  // seconds

QColor Colour(const Rgb& rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

QCPRange KeyRange(double minDays, double maxDays) {
  QCPRange range(ChartKey(minDays), ChartKey(maxDays));
  if (!(range.upper - range.lower >= kSmallestKeySpan)) {
    const double centre = std::isfinite(range.center()) ? range.center() : 0.0;
    range = QCPRange(centre - 0.5, centre + 0.5);
  }
  return range;
}

QCPRange ValueRange(double min, double max) {
  if (max > min && std::isfinite(max - min)) return QCPRange(min, max);
  const double centre = std::isfinite(min) ? min : 0.0;
  return QCPRange(centre - 0.5, centre + 0.5);
}

// The chart's look of an axis: dark green line and grid, green ticks, white labels.
void StyleAxis(QCPAxis* axis, const QFont& font) {
  axis->setBasePen(QPen(kAxisColour, 1));
  axis->setTickPen(QPen(kTickColour, 1));
  axis->setSubTicks(false);
  axis->setTickLength(0, 4);
  axis->setTickLabelColor(Qt::white);
  axis->setTickLabelFont(font);
  axis->setLabelColor(Qt::white);
  axis->setLabelFont(font);
  axis->setLabel(QString());
  axis->grid()->setPen(QPen(kAxisColour, 1, Qt::SolidLine));
  axis->grid()->setZeroLinePen(Qt::NoPen);
  axis->grid()->setSubGridVisible(false);
}

}  // namespace

// The alarm bands, on a layer of their own between the grid and the lines: over every grid line
// (also those of the axes a scale adds later), under every line.
class AlarmBandLayer : public QCPLayerable {
 public:
  explicit AlarmBandLayer(TrendChart* chart) : QCPLayerable(chart, QStringLiteral("alarms")), chart_(chart) {}

 protected:
  void applyDefaultAntialiasingHint(QCPPainter* painter) const override { painter->setAntialiasing(false); }
  QRect clipRect() const override { return chart_->axisRect()->rect(); }
  void draw(QCPPainter* painter) override {
    // Per line its periods as pixel columns, overlapping and touching ones merged, so that a
    // channel that goes in and out of alarm many times within a column is shaded once there.
    const QRect area = chart_->axisRect()->rect();
    const std::vector<TrendChart::AlarmBand>& bands = chart_->AlarmBands();
    std::size_t k = 0;
    while (k < bands.size()) {
      const std::size_t line = bands[k].line;
      std::size_t end = k;
      while (end < bands.size() && bands[end].line == line) ++end;
      QCPAbstractPlottable* plottable = line < chart_->LineCount() ? chart_->Plottable(line) : nullptr;
      if (plottable && plottable->visible()) DrawLine(painter, area, plottable, bands, k, end);
      k = end;
    }
  }

 private:
  struct Run {
    int left, right;  // pixel columns, inclusive
    double limit;
  };
  // A limit outside the plot on the side its periods lie: a strip this high along that edge still
  // shows that they are there.
  static constexpr int kEdgeStrip = 3;

  void DrawLine(QCPPainter* painter, const QRect& area, QCPAbstractPlottable* plottable,
                const std::vector<TrendChart::AlarmBand>& bands, std::size_t from, std::size_t to) {
    std::vector<Run> runs[2];  // beyond the upper limit, below the lower one
    for (std::size_t k = from; k < to; ++k) {
      const AlarmEvent& e = bands[k].event;
      const double left = chart_->xAxis->coordToPixel(ChartKey(e.start));
      const double right = chart_->xAxis->coordToPixel(ChartKey(e.end));
      if (!(right >= area.left()) || !(left <= area.right())) continue;
      const int l = static_cast<int>(std::floor(std::max<double>(left, area.left())));
      const int r = std::max(l, static_cast<int>(std::floor(std::min<double>(right, area.right()))));
      runs[e.upper ? 0 : 1].push_back({l, r, e.limit});
    }
    QColor colour = Colour(PaletteColour(chart_->Line(bands[from].line).palettePosition));
    QColor shade = colour;
    shade.setAlpha(70);
    colour.setAlpha(255);
    const QPen dashed(colour, 1, Qt::DashLine);
    for (int side = 0; side < 2; ++side) {
      std::vector<Run>& list = runs[side];
      std::sort(list.begin(), list.end(),
                [](const Run& a, const Run& b) { return a.limit != b.limit ? a.limit < b.limit : a.left < b.left; });
      std::size_t i = 0;
      while (i < list.size()) {
        Run merged = list[i];
        std::size_t j = i + 1;
        while (j < list.size() && list[j].limit == merged.limit && list[j].left <= merged.right + 1) {
          merged.right = std::max(merged.right, list[j].right);
          ++j;
        }
        DrawRun(painter, area, plottable->valueAxis(), side == 0, merged, shade, dashed);
        i = j;
      }
    }
  }

  // The part of the plot beyond the limit over the run's columns (above an upper limit up to the
  // top, below a lower one down to the bottom, as the line's own value axis places the limit),
  // then the limit dashed over it.
  static void DrawRun(QCPPainter* painter, const QRect& area, QCPAxis* axis, bool upper, const Run& run,
                      const QColor& shade, const QPen& dashed) {
    const double at = axis->coordToPixel(run.limit);
    if (std::isnan(at)) return;
    // Which edge of the plot lies beyond the limit: the top for an upper limit unless the axis runs
    // downwards.
    const bool towardsTop = upper != axis->rangeReversed();
    const int width = run.right - run.left + 1;
    const int row = static_cast<int>(std::lround(std::clamp(at, area.top() - 1.0, area.bottom() + 1.0)));
    if (towardsTop ? row < area.top() : row > area.bottom()) {
      // The limit is outside the plot beyond its own edge: nothing beyond it is in view.
      painter->fillRect(QRect(run.left, towardsTop ? area.top() : area.bottom() - kEdgeStrip + 1, width, kEdgeStrip),
                        shade);
      return;
    }
    const int top = towardsTop ? area.top() : std::max(row + 1, area.top());
    const int bottom = towardsTop ? std::min(row - 1, area.bottom()) : area.bottom();
    if (bottom >= top) painter->fillRect(QRect(run.left, top, width, bottom - top + 1), shade);
    if (row >= area.top() && row <= area.bottom()) {
      painter->setPen(dashed);
      painter->drawLine(QLineF(run.left, row, run.right + 1, row));
    }
  }

  TrendChart* chart_;
};

TrendChart::TrendChart(QWidget* parent) : QCustomPlot(parent) {
  setObjectName(QStringLiteral("Chart"));
  SetUpAppearance();
  SetUpCursors();
  SetUpLegend();
  connect(this, &QCustomPlot::beforeReplot, this, &TrendChart::MarkSparseLines);
  connect(yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] { SyncScaleAxes(); });
  addLayer(QStringLiteral("alarms"), layer(QStringLiteral("grid")), QCustomPlot::limAbove);
  bandLayer_ = new AlarmBandLayer(this);
  connect(selectionRect(), &QCPSelectionRect::accepted, this, &TrendChart::OnRubberBand);
  connect(selectionRect(), &QCPSelectionRect::canceled, this, &TrendChart::AfterRubberBand);
  SetZoomAllowed(true);
  setMouseTracking(true);
}

TrendChart::~TrendChart() { RemoveLegendEntries(); }

void TrendChart::RemoveLegendEntries() {
  // Out of the legend first: removing a line's plottable also removes any legend entry showing it.
  for (CheckableLegendItem* item : legendEntries_) {
    if (item->layout() == legend) legend->take(item);
    delete item;
  }
  legendEntries_.clear();
  legend->simplify();
  legendFirst_ = legendShown_ = 0;
}

void TrendChart::SetUpAppearance() {
  setBackground(Qt::black);
  axisRect()->setBackground(Qt::black);
  setNotAntialiasedElements(QCP::aeAll);
  setAutoAddPlottableToLegend(false);

  setLocale(QLocale::c());
  const QFont font = ChartFont();
  for (QCPAxis* axis : {xAxis, yAxis}) StyleAxis(axis, font);
  bottomTicker_ = QSharedPointer<StepDateTimeTicker>::create();
  bottomTicker_->setDateTimeFormat(QStringLiteral("yy-MM-dd\nHH:mm:ss"));
  bottomTicker_->setDateTimeSpec(Qt::UTC);
  bottomTicker_->setTickOrigin(ChartKey(0.0));  // label steps count from the DateTime origin
  xAxis->setTicker(bottomTicker_);
  leftTicker_ = QSharedPointer<StepValueTicker>::create();
  yAxis->setTicker(leftTicker_);
  yAxis->setNumberFormat(QStringLiteral("f"));
  yAxis->setNumberPrecision(0);
  new ChartFrame(this, axisRect(), QStringLiteral("grid"));

  selectionRect()->setPen(QPen(kZoomRectColour, 1));
  selectionRect()->setBrush(Qt::NoBrush);
}

void TrendChart::SetUpLegend() {
  legend->setVisible(false);
  legend->setBrush(Qt::black);
  legend->setBorderPen(QPen(kLegendFrameColour, 1));
  legend->setTextColor(Qt::white);
  legend->setFont(ChartFont());
  legend->setIconSize(18, 8);
  legend->setIconTextPadding(4);
  legend->setMargins(QMargins(5, 3, 6, 3));
  legend->setRowSpacing(0);
  legend->setSelectableParts(QCPLegend::spNone);
  legend->setLayer(cursorLayer_);

  // The legend stands right of the plot area, its top at 4 % of the chart's height.
  axisRect()->insetLayout()->take(legend);
  auto* side = new QCPLayoutGrid;
  plotLayout()->addElement(0, 1, side);
  plotLayout()->setColumnStretchFactor(1, 0.001);
  legendTopSpace_ = new QCPLayoutElement(this);
  side->addElement(0, 0, legendTopSpace_);
  side->addElement(1, 0, legend);
  side->addElement(2, 0, new QCPLayoutElement(this));
  side->setRowStretchFactor(0, 0.001);
  side->setRowStretchFactor(1, 0.001);
  side->setRowStretchFactor(2, 1.0);
  side->setRowSpacing(0);
  side->setMargins(QMargins(4, 0, 8, 0));
  legendTitle_ = new LegendTitleItem(legend);
  legendTitle_->setLayer(cursorLayer_);
  legendAbove_ = new LegendPagerItem(legend);
  legendAbove_->setLayer(cursorLayer_);
  legendAbove_->setVisible(false);
  legendBelow_ = new LegendPagerItem(legend);
  legendBelow_->setLayer(cursorLayer_);
  legendBelow_->setVisible(false);
  LayOutForSize(size());
}

void TrendChart::SetUpCursors() {
  // The cursors, the legend (whose read-out follows the vertical cursor) and the zoom rectangle
  // share the one layer with a paint buffer of its own: moving a cursor or dragging a rectangle
  // repaints that layer only, and a full replot fills no more buffers than a plain chart does.
  addLayer(QStringLiteral("cursors"), layer(QStringLiteral("overlay")), QCustomPlot::limAbove);
  cursorLayer_ = layer(QStringLiteral("cursors"));
  cursorLayer_->setMode(QCPLayer::lmBuffered);
  layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
  selectionRect()->setLayer(cursorLayer_);
  auto line = [this](const QColor& colour) {
    auto* item = new QCPItemStraightLine(this);
    item->setLayer(cursorLayer_);
    item->setPen(QPen(colour, 2));
    item->setSelectable(false);
    item->setAntialiased(false);
    item->setVisible(false);
    return item;
  };
  verticalLine_ = line(kVerticalCursorColour);
  y1Line_ = line(kVerticalCursorColour);
  y2Line_ = line(kHorizontalCursorColour);
  x2Line_ = line(kSecondCursorColour);
  UpdateCursorItems();
}

void TrendChart::LayOutForSize(const QSize& size) {
  const int top = static_cast<int>(std::lround(size.height() * kLegendTopFraction));
  legendTopSpace_->setMinimumSize(0, top);
  legendTopSpace_->setMaximumSize(QWIDGETSIZE_MAX, top);
  // The legend's room: the height less as much again below it.
  const QMargins margins = legend->margins();
  const int room = size.height() - 2 * top - margins.top() - margins.bottom();
  const int rows = std::max(1, room / LegendRowHeight());
  if (rows != legendRows_) {
    legendRows_ = rows;
    LayOutLegend();
  }
  // Labels need about 60 px across (two lines of "yy-MM-dd") in the room the legend and the left
  // labels leave, and 14 px up.
  bottomTicker_->SetMaxTicks(std::max(2, (size.width() - 220) / 70));
  leftTicker_->SetMaxTicks(std::max(2, size.height() / 12));
}

QImage TrendChart::Render(int width, int height) {
  const QSize shown = size();
  LayOutForSize(QSize(width, height));
  const QImage image = toPixmap(width, height).toImage();
  LayOutForSize(shown);
  replot(rpQueuedReplot);  // the picture's layout left behind
  return image;
}

QSize TrendChart::minimumSizeHint() const { return QSize(kMinimumWidth, kMinimumHeight); }

QSize TrendChart::sizeHint() const { return QSize(kPageWidth, kPageHeight); }

// ---------------------------------------------------------------------------------------------
// Legend

int TrendChart::LegendRowHeight() const {
  return std::max(QFontMetrics(legend->font()).height(), legend->iconSize().height());
}

void TrendChart::LayOutLegend() {
  // Everything out, then the title line, the page of entries and the rows around it put back.
  for (int i = legend->elementCount() - 1; i >= 0; --i) {
    if (legend->elementAt(i)) legend->takeAt(i);
  }
  legend->simplify();
  const std::size_t lines = lines_.size();
  const auto entryRows = static_cast<std::size_t>(std::max(1, legendRows_ - legendTitle_->Lines()));
  const bool paged = lines > entryRows;
  legendShown_ = paged ? std::max<std::size_t>(1, entryRows > 2 ? entryRows - 2 : 1) : lines;
  legendFirst_ = std::min(legendFirst_, lines - legendShown_);
  int row = 0;
  legend->addElement(row++, 0, legendTitle_);
  legendAbove_->setVisible(paged);
  legendBelow_->setVisible(paged);
  if (paged) {
    legendAbove_->SetText(LegendAboveText());
    legend->addElement(row++, 0, legendAbove_);
  }
  while (legendEntries_.size() < legendShown_) {
    const std::size_t line = legendFirst_ + legendEntries_.size();
    auto* item = new CheckableLegendItem(legend, lines_[line].plottable);
    item->setLayer(cursorLayer_);
    legendEntries_.push_back(item);
  }
  for (std::size_t k = 0; k < legendEntries_.size(); ++k) {
    CheckableLegendItem* item = legendEntries_[k];
    item->setVisible(k < legendShown_);
    if (k >= legendShown_) continue;
    item->SetPlottable(lines_[legendFirst_ + k].plottable);
    legend->addElement(row++, 0, item);
  }
  if (paged) {
    legendBelow_->SetText(LegendBelowText());
    legend->addElement(row++, 0, legendBelow_);
  }
}

QString TrendChart::LegendAboveText() const {
  if (legendShown_ >= lines_.size()) return QString();
  return legendFirst_ > 0 ? QStringLiteral("▲") : QStringLiteral("△");
}

QString TrendChart::LegendBelowText() const {
  if (legendShown_ >= lines_.size()) return QString();
  const std::size_t end = legendFirst_ + legendShown_;
  return (end < lines_.size() ? QStringLiteral("▼ ") : QStringLiteral("▽ ")) +
         QStringLiteral("%1-%2/%3").arg(legendFirst_ + 1).arg(end).arg(lines_.size());
}

void TrendChart::ScrollLegend(std::ptrdiff_t entries) {
  if (legendShown_ >= lines_.size()) return;
  const std::size_t last = lines_.size() - legendShown_;
  std::size_t first = legendFirst_;
  if (entries < 0) {
    const auto back = static_cast<std::size_t>(-entries);
    first = back > first ? 0 : first - back;
  } else {
    first = std::min(last, first + static_cast<std::size_t>(entries));
  }
  if (first == legendFirst_) return;
  legendFirst_ = first;
  LayOutLegend();
  replot(rpQueuedReplot);  // other titles may want another width
}

void TrendChart::resizeEvent(QResizeEvent* event) {
  LayOutForSize(event->size());
  QCustomPlot::resizeEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Lines

void TrendChart::ClearChart() {
  RemoveLegendEntries();
  lines_.clear();
  alarmBands_.clear();
  LayOutLegend();
  clearPlottables();
  BuildScaleAxes();
  homeRanges_.reset();
  bottomAutomatic_ = leftAutomatic_ = true;
  legend->setVisible(false);
  replot(rpQueuedReplot);
}

namespace {

// put(i, value) for every point of `line` in order: the runs between gap points as they are, each
// gap point as no number; `low` and `high` take the values' span on the way (a value that is no
// number compares false and leaves both ends).
template <typename Put>
void ForEachValue(const ChartLine& line, double& low, double& high, Put&& put) {
  const std::size_t n = line.points.size();
  const ChartPoint* points = line.points.data();
  std::size_t i = 0;
  for (const std::size_t gap : line.gaps) {
    if (gap < i || gap >= n) continue;
    for (; i < gap; ++i) {
      const double v = points[i].y;
      low = v < low ? v : low;
      high = v > high ? v : high;
      put(i, v);
    }
    put(i, std::numeric_limits<double>::quiet_NaN());
    ++i;
  }
  for (; i < n; ++i) {
    const double v = points[i].y;
    low = v < low ? v : low;
    high = v > high ? v : high;
    put(i, v);
  }
}

// The data of a graph drawing `line` (its times ascend).
QVector<QCPGraphData> GraphData(const ChartLine& line, double& low, double& high) {
  QVector<QCPGraphData> data(static_cast<qsizetype>(line.points.size()));
  QCPGraphData* out = data.data();
  const ChartPoint* points = line.points.data();
  ForEachValue(line, low, high, [out, points](std::size_t i, double v) {
    out[i] = QCPGraphData(ChartKey(points[i].x), v);
  });
  return data;
}

}  // namespace

void TrendChart::MarkSparseLines() {
  constexpr int kPixelsPerPoint = 8;
  const QCPRange view = xAxis->range();
  const int width = std::max(1, axisRect()->width());
  for (Series& series : lines_) {
    std::size_t inView = 0;
    if (auto* graph = qobject_cast<QCPGraph*>(series.plottable)) {
      const auto begin = graph->data()->findBegin(view.lower, false);
      const auto end = graph->data()->findEnd(view.upper, false);
      inView = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, end - begin));
    } else if (series.plottable) {
      inView = series.data.points.size();
    }
    const bool sparse = inView > 0 && inView * kPixelsPerPoint < static_cast<std::size_t>(width);
    const QCPScatterStyle::ScatterShape shape = sparse ? QCPScatterStyle::ssDisc : QCPScatterStyle::ssNone;
    if (auto* graph = qobject_cast<QCPGraph*>(series.plottable)) {
      if (graph->scatterStyle().shape() != shape) graph->setScatterStyle(QCPScatterStyle(shape, 4));
    } else if (auto* curve = qobject_cast<QCPCurve*>(series.plottable)) {
      if (curve->scatterStyle().shape() != shape) curve->setScatterStyle(QCPScatterStyle(shape, 4));
    }
  }
}

bool TrendChart::LineShowsMarks(std::size_t line) const {
  const QCPAbstractPlottable* plottable = lines_.at(line).plottable;
  if (const auto* graph = qobject_cast<const QCPGraph*>(plottable)) return graph->scatterStyle().shape() != QCPScatterStyle::ssNone;
  if (const auto* curve = qobject_cast<const QCPCurve*>(plottable)) return curve->scatterStyle().shape() != QCPScatterStyle::ssNone;
  return false;
}

QCPAbstractPlottable* TrendChart::CreatePlottable(const ChartLine& line, ValueSpan& values) {
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  const std::size_t n = line.points.size();
  const ChartPoint* points = line.points.data();
  auto forEachValue = [&](auto&& put) { ForEachValue(line, low, high, put); };
  QCPAbstractPlottable* plottable = nullptr;
  if (line.ascending) {
    auto* graph = new ColumnGraph(xAxis, yAxis);
    graph->data()->set(GraphData(line, low, high), true);
    graph->setLineStyle(QCPGraph::lsLine);
    plottable = graph;
  } else {
    // Drawn in stored order: the curve's parameter is the point's place.
    auto* curve = new QCPCurve(xAxis, yAxis);
    QVector<QCPCurveData> data(static_cast<qsizetype>(n));
    QCPCurveData* out = data.data();
    forEachValue([out, points](std::size_t i, double v) {
      out[i] = QCPCurveData(static_cast<double>(i), ChartKey(points[i].x), v);
    });
    curve->data()->set(data, true);
    curve->setLineStyle(QCPCurve::lsLine);
    plottable = curve;
  }
  plottable->setPen(QPen(Colour(PaletteColour(line.palettePosition)), 1));
  plottable->setAntialiased(false);
  plottable->setAntialiasedFill(false);
  plottable->setSelectable(QCP::stNone);
  plottable->setName(QString::fromStdString(line.title));
  values = ValueSpan{};
  if (low <= high) values = ValueSpan{true, low, high};
  return plottable;
}

void TrendChart::SetBand(Series& series, const ChartLine& line) {
  if (!line.HasBand() || !line.ascending) {
    if (series.band) removePlottable(series.band);
    series.band = nullptr;
    return;
  }
  if (!series.band) {
    // The band is drawn as each column's stroke from its lowest to its highest value, in turn up
    // and down, so that the strokes fill it and its edges join them (cheaper than a filled area).
    series.band = new QCPGraph(xAxis, yAxis);
    QColor colour = Colour(PaletteColour(line.palettePosition));
    colour.setAlpha(120);
    series.band->setPen(QPen(colour, 1));
    series.band->setAntialiased(false);
    series.band->setSelectable(QCP::stNone);
    series.band->setLineStyle(QCPGraph::lsLine);
    if (series.plottable) series.band->setVisible(series.plottable->visible());
  }
  QVector<QCPGraphData> strokes;
  strokes.reserve(static_cast<qsizetype>(2 * line.points.size()));
  std::size_t nextGap = 0;
  bool up = true;
  for (std::size_t i = 0; i < line.points.size(); ++i) {
    const double key = ChartKey(line.points[i].x);
    while (nextGap < line.gaps.size() && line.gaps[nextGap] < i) ++nextGap;
    if (nextGap < line.gaps.size() && line.gaps[nextGap] == i) {
      strokes.append(QCPGraphData(key, std::numeric_limits<double>::quiet_NaN()));
      up = true;
      continue;
    }
    const double low = line.bandLow[i];
    const double high = line.bandHigh[i];
    strokes.append(QCPGraphData(key, up ? low : high));
    strokes.append(QCPGraphData(key, up ? high : low));
    up = !up;
  }
  series.band->data()->set(strokes, true);
}

std::size_t TrendChart::AddLines(std::vector<ChartLine>&& lines, double gapHeight) {
  const std::size_t first = lines_.size();
  lines_.reserve(lines_.size() + lines.size());
  for (ChartLine& line : lines) {
    Series series;
    SetBand(series, line);  // before the line, so that the line is drawn over its band
    series.plottable = CreatePlottable(line, series.values);
    series.data = std::move(line);
    series.gapHeight = gapHeight;
    lines_.push_back(std::move(series));
  }
  LayOutLegend();
  legend->setVisible(!lines_.empty());
  BuildScaleAxes();
  RescaleAutomaticAxes();
  replot(rpQueuedReplot);
  return first;
}

void TrendChart::AppendPoint(std::size_t line, DateTime x, double y, bool rescale) {
  AppendToLine(line, x, y, false, rescale);
}

void TrendChart::AppendGap(std::size_t line, DateTime x, bool rescale) {
  AppendToLine(line, x, lines_.at(line).gapHeight, true, rescale);
}

void TrendChart::AppendToLine(std::size_t line, DateTime x, double y, bool gap, bool rescale) {
  Series& series = lines_.at(line);
  if (gap) {
    series.data.AppendGap(x, y);
  } else {
    series.data.Append(x, y);
  }
  const double value = gap ? std::numeric_limits<double>::quiet_NaN() : y;
  series.values.Take(value);
  if (auto* graph = qobject_cast<QCPGraph*>(series.plottable)) {
    graph->addData(ChartKey(x), value);
  } else if (auto* curve = qobject_cast<QCPCurve*>(series.plottable)) {
    curve->addData(static_cast<double>(series.data.points.size() - 1), ChartKey(x), value);
  }
  if (rescale) RescaleAutomaticAxes();
  replot(rpQueuedReplot);
}

void TrendChart::ReplaceLineData(std::size_t line, ChartLine&& data) {
  Series& series = lines_.at(line);
  auto* graph = qobject_cast<QCPGraph*>(series.plottable);
  if (!graph || !data.ascending) return;
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  graph->data()->set(GraphData(data, low, high), true);
  series.values = ValueSpan{};
  if (low <= high) series.values = ValueSpan{true, low, high};
  const std::string title = std::move(series.data.title);
  series.data = std::move(data);
  series.data.title = title;
  SetBand(series, series.data);
  if (series.band) series.band->setValueAxis(graph->valueAxis());
  replot(rpQueuedReplot);
}

void TrendChart::EmptyLine(std::size_t line) {
  Series& series = lines_.at(line);
  series.data.Clear();
  SetBand(series, series.data);
  series.values = ValueSpan{};
  if (auto* graph = qobject_cast<QCPGraph*>(series.plottable)) graph->data()->clear();
  if (auto* curve = qobject_cast<QCPCurve*>(series.plottable)) curve->data()->clear();
  replot(rpQueuedReplot);
}

void TrendChart::SetLineTitle(std::size_t line, const QString& title) {
  lines_.at(line).plottable->setName(title);
}

QString TrendChart::LineTitleShown(std::size_t line) const { return lines_.at(line).plottable->name(); }

bool TrendChart::LineVisible(std::size_t line) const { return lines_.at(line).plottable->visible(); }

void TrendChart::SetLineVisible(std::size_t line, bool visible) {
  lines_.at(line).plottable->setVisible(visible);
  if (lines_[line].band) lines_[line].band->setVisible(visible);
  ShowUnitAxesInUse();
  replot(rpQueuedReplot);
  emit lineVisibilityChanged(line);
}

void TrendChart::SetLegendTitle(const QString& title) {
  const int lines = legendTitle_->Lines();
  legendTitle_->SetText(title);
  if (legendTitle_->Lines() != lines) LayOutLegend();
}

void TrendChart::SetAlarmBands(std::vector<AlarmBand> bands) {
  std::stable_sort(bands.begin(), bands.end(), [](const AlarmBand& a, const AlarmBand& b) { return a.line < b.line; });
  alarmBands_ = std::move(bands);
  replot(rpQueuedReplot);
}

QString TrendChart::LegendTitle() const { return legendTitle_->Text(); }

// ---------------------------------------------------------------------------------------------
// Axes

ViewRanges TrendChart::Ranges() const {
  return ViewRanges{ChartDays(xAxis->range().lower), ChartDays(xAxis->range().upper),
                    yAxis->range().lower, yAxis->range().upper};
}

void TrendChart::SetBottomAxis(double min, double max) {
  bottomAutomatic_ = false;
  xAxis->setRange(KeyRange(min, max));
  replot(rpQueuedReplot);
}

void TrendChart::SetLeftAxis(double min, double max) {
  leftAutomatic_ = false;
  yAxis->setRange(ValueRange(min, max));
  replot(rpQueuedReplot);
}

void TrendChart::SetBottomIncrement(double days) {
  bottomTicker_->SetStep(days * kSecondsPerDay);
  replot(rpQueuedReplot);
}

void TrendChart::SetLeftIncrement(double step) {
  leftTicker_->SetStep(step);
  replot(rpQueuedReplot);
}

double TrendChart::BottomIncrement() const { return bottomTicker_->Step() / kSecondsPerDay; }

double TrendChart::LeftIncrement() const { return leftTicker_->Step(); }

void TrendChart::SetBottomAutomatic(bool automatic) {
  bottomAutomatic_ = automatic;
  RescaleAutomaticAxes();
}

void TrendChart::SetLeftAutomatic(bool automatic) {
  leftAutomatic_ = automatic;
  RescaleAutomaticAxes();
}

void TrendChart::ValueSpan::Take(double value) {
  if (std::isnan(value)) return;
  if (!any) {
    low = high = value;
    any = true;
  } else {
    low = std::min(low, value);
    high = std::max(high, value);
  }
}

void TrendChart::RescaleAutomaticAxes() {
  if (lines_.empty()) return;
  // The keys of a line in time order are found at its ends; a line whose times go back is looked
  // at whole.
  if (bottomAutomatic_) xAxis->rescale();
  UpdateScaleMaps();
  if (!leftAutomatic_) return;
  if (scale_ != ChartScale::Single) {
    yAxis->setRange(kPercentAxisMin, kPercentAxisMax);
    return;
  }
  // The values from each line's span, as QCPAxis::rescale would find them by looking at every
  // point: the union over all lines, shown or not; a range of no height keeps the axis' height
  // around its value.
  QCPRange range;
  bool any = false;
  for (const Series& series : lines_) {
    if (!series.values.any) continue;
    const QCPRange span(series.values.low, series.values.high);
    if (any) {
      range.expand(span);
    } else {
      range = span;
      any = true;
    }
  }
  if (!any) return;
  if (!QCPRange::validRange(range)) {
    const double center = (range.lower + range.upper) * 0.5;
    range.lower = center - yAxis->range().size() / 2.0;
    range.upper = center + yAxis->range().size() / 2.0;
  }
  yAxis->setRange(range);
}

void TrendChart::SetRanges(const ViewRanges& ranges) {
  bottomAutomatic_ = leftAutomatic_ = false;
  xAxis->setRange(KeyRange(ranges.x0, ranges.x1));
  yAxis->setRange(ValueRange(ranges.y0, ranges.y1));
}

// ---------------------------------------------------------------------------------------------
// Scales

void TrendChart::SetScale(ChartScale scale) {
  if (scale == scale_) return;
  scale_ = scale;
  BuildScaleAxes();
  replot(rpQueuedReplot);
}

void TrendChart::SetLineRange(std::size_t line, double low, double high) {
  lines_.at(line).range = MakeValueMap(low, high);
  if (scale_ == ChartScale::Range) BuildScaleAxes();
}

double TrendChart::SharedValue(std::size_t line, double value) const {
  return scale_ == ChartScale::Single ? value : lines_.at(line).map.ToShared(value);
}

QCPAxis* TrendChart::LineAxis(const Series& series) const {
  const std::size_t k = static_cast<std::size_t>(&series - lines_.data());
  if (scale_ == ChartScale::Single || k >= lineAxis_.size() || lineAxis_[k] >= scaleAxes_.size()) return yAxis;
  return scaleAxes_[lineAxis_[k]];
}

void TrendChart::BuildScaleAxes() {
  // Every line back on the shared axis first: an axis taken away takes its plottables with it.
  for (Series& series : lines_) {
    if (series.plottable) series.plottable->setValueAxis(yAxis);
    if (series.band) series.band->setValueAxis(yAxis);
  }
  for (QCPAxis* axis : scaleAxes_) axisRect()->removeAxis(axis);
  scaleAxes_.clear();
  unitGroups_.clear();
  groupFitted_.clear();
  lineAxis_.assign(lines_.size(), static_cast<std::size_t>(-1));
  const bool single = scale_ == ChartScale::Single;
  const bool unit = scale_ == ChartScale::Unit;
  yAxis->setTickLabels(!unit);
  yAxis->setTicks(!unit);
  yAxis->grid()->setVisible(!unit);
  yAxis->setLabel(scale_ == ChartScale::Range ? QStringLiteral("%") : QString());
  if (single || lines_.empty()) {
    for (Series& series : lines_) series.map = ValueMap{};
    return;
  }
  auto addAxis = [this](bool visible) {
    QCPAxis* axis = axisRect()->addAxis(QCPAxis::atLeft);
    axis->setVisible(visible);
    axis->setLayer(yAxis->layer());
    // Its grid under the alarm bands and the lines, as the shared axis' grid is (a new axis'
    // grid would otherwise land on the layer current at the time, among the lines).
    axis->grid()->setLayer(yAxis->grid()->layer());
    axis->grid()->setVisible(false);
    if (visible) {
      StyleAxis(axis, yAxis->tickLabelFont());
      auto ticker = QSharedPointer<StepValueTicker>::create();
      ticker->setTickCount(8);
      axis->setTicker(ticker);
      axis->setNumberFormat(QStringLiteral("f"));
      axis->setPadding(2);
    }
    scaleAxes_.push_back(axis);
    return scaleAxes_.size() - 1;
  };
  if (unit) {
    std::vector<std::string> units;
    units.reserve(lines_.size());
    for (const Series& series : lines_) units.push_back(series.data.unit);
    unitGroups_ = GroupLinesByUnit(units);
    // A CSV import may name many units: past 16 axes the rest share one, labelled "其他".
    if (unitGroups_.size() > kMostScaleAxes) {
      UnitGroup others{"其他", {}};
      for (std::size_t g = kMostScaleAxes - 1; g < unitGroups_.size(); ++g) {
        others.lines.insert(others.lines.end(), unitGroups_[g].lines.begin(), unitGroups_[g].lines.end());
      }
      unitGroups_.resize(kMostScaleAxes - 1);
      unitGroups_.push_back(std::move(others));
    }
    groupFitted_.assign(unitGroups_.size(), true);
    for (const UnitGroup& group : unitGroups_) {
      const std::size_t axis = addAxis(true);
      scaleAxes_[axis]->setLabel(QString::fromStdString(group.unit));
      for (const std::size_t line : group.lines) lineAxis_[line] = axis;
    }
    // The grid follows the labels of the axis next to the plot.
    if (!scaleAxes_.empty()) scaleAxes_.front()->grid()->setVisible(true);
  } else {
    // A hidden axis per distinct channel range, shared by the lines of that range; a line without
    // a range (a CSV import's, a live line) has one of its own, following the span of its values.
    // Past kMostHiddenAxes the remaining lines share one fitted to all of them.
    std::vector<ValueMap> ranges;  // of the groups with a range, by group
    std::size_t overflow = static_cast<std::size_t>(-1);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const Series& series = lines_[i];
      std::size_t group = unitGroups_.size();
      if (series.range) {
        for (std::size_t g = 0; g < unitGroups_.size() && group == unitGroups_.size(); ++g) {
          if (!groupFitted_[g] && ranges[g] == *series.range) group = g;
        }
      }
      if (group == unitGroups_.size()) {
        if (unitGroups_.size() + 1 < kMostHiddenAxes) {
          unitGroups_.push_back(UnitGroup{std::string(), {}});
          groupFitted_.push_back(!series.range);
          ranges.push_back(series.range.value_or(ValueMap{}));
          addAxis(false);
        } else {
          if (overflow == static_cast<std::size_t>(-1)) {
            overflow = unitGroups_.size();
            unitGroups_.push_back(UnitGroup{std::string(), {}});
            groupFitted_.push_back(true);
            ranges.push_back(ValueMap{});
            addAxis(false);
          }
          group = overflow;
        }
      }
      unitGroups_[group].lines.push_back(i);
      lineAxis_[i] = group;
    }
  }
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    QCPAxis* axis = scaleAxes_[lineAxis_[i]];
    if (lines_[i].plottable) lines_[i].plottable->setValueAxis(axis);
    if (lines_[i].band) lines_[i].band->setValueAxis(axis);
  }
  ShowUnitAxesInUse();
  UpdateScaleMaps();
}

void TrendChart::ShowUnitAxesInUse() {
  if (scale_ != ChartScale::Unit) return;
  // A unit's axis shows while one of its lines does; the grid follows the first axis on show.
  bool gridPlaced = false;
  for (std::size_t g = 0; g < unitGroups_.size() && g < scaleAxes_.size(); ++g) {
    bool shown = false;
    for (const std::size_t line : unitGroups_[g].lines) shown = shown || lines_[line].plottable->visible();
    scaleAxes_[g]->setVisible(shown);
    scaleAxes_[g]->grid()->setVisible(shown && !gridPlaced);
    gridPlaced = gridPlaced || shown;
  }
}

void TrendChart::UpdateScaleMaps() {
  if (scale_ == ChartScale::Single || scaleAxes_.empty()) return;
  for (std::size_t g = 0; g < unitGroups_.size(); ++g) {
    const UnitGroup& group = unitGroups_[g];
    if (g < groupFitted_.size() && !groupFitted_[g]) {
      // Lines of one channel range.
      for (const std::size_t line : group.lines) lines_[line].map = lines_[line].range.value_or(ValueMap{});
      continue;
    }
    // Fitted to the values of its lines (a unit's, or those of a line without a range).
    ValueSpan span;
    for (const std::size_t line : group.lines) {
      const Series& series = lines_[line];
      if (series.range && scale_ == ChartScale::Range) {
        span.Take(series.range->low);
        span.Take(series.range->high);
      } else if (series.values.any) {
        span.Take(series.values.low);
        span.Take(series.values.high);
      }
    }
    const ValueMap map = span.any ? MakeValueMap(span.low, span.high) : ValueMap{};
    for (const std::size_t line : group.lines) lines_[line].map = map;
  }
  SyncScaleAxes();
}

void TrendChart::SyncScaleAxes() {
  if (scale_ == ChartScale::Single || scaleAxes_.empty()) return;
  // Each axis shows, in its lines' values, the window the shared axis shows.
  const QCPRange shared = yAxis->range();
  std::vector<bool> done(scaleAxes_.size(), false);
  for (std::size_t i = 0; i < lines_.size() && i < lineAxis_.size(); ++i) {
    const std::size_t a = lineAxis_[i];
    if (a >= scaleAxes_.size() || done[a]) continue;
    done[a] = true;
    const ValueMap& map = lines_[i].map;
    scaleAxes_[a]->setRange(map.FromShared(shared.lower), map.FromShared(shared.upper));
  }
}

// ---------------------------------------------------------------------------------------------
// Zoom and scroll

void TrendChart::SetZoomAllowed(bool allowed) {
  zoomAllowed_ = allowed;
  setSelectionRectMode(allowed ? QCP::srmCustom : QCP::srmNone);
}

void TrendChart::SaveHomeRanges() {
  if (!homeRanges_) homeRanges_ = Ranges();
}

void TrendChart::OnRubberBand(const QRect& rect, QMouseEvent*) {
  // The rectangle runs from where the drag began to where it ended.
  const int across = rect.right() - rect.left();
  const int upOrDown = rect.bottom() - rect.top();
  if (std::abs(across) <= kZoomMinimumPixels || std::abs(upOrDown) <= kZoomMinimumPixels) {
    AfterRubberBand();
    return;
  }
  if (across < 0) {
    UndoZoom();
    return;
  }
  const QRect r = rect.normalized();
  SaveHomeRanges();
  SetRanges(ViewRanges{ChartDays(xAxis->pixelToCoord(r.left())), ChartDays(xAxis->pixelToCoord(r.right())),
                       yAxis->pixelToCoord(r.bottom()), yAxis->pixelToCoord(r.top())});
  replot(rpQueuedReplot);
  emit zoomed();
}

void TrendChart::AfterRubberBand() {
  // The rectangle was drawn into the cursor layer's buffer while it was dragged: that layer again,
  // without it. (A zoom or an undo replots the whole chart anyway.)
  cursorLayer_->replot();
}

void TrendChart::UndoZoom() {
  if (homeRanges_) {
    SetRanges(*homeRanges_);
    homeRanges_.reset();
  }
  replot(rpQueuedReplot);
  emit zoomUndone();
}

// ---------------------------------------------------------------------------------------------
// Cursors

void TrendChart::UpdateCursorItems() {
  const double key = ChartKey(cursors_.x);
  verticalLine_->point1->setCoords(key, 0.0);
  verticalLine_->point2->setCoords(key, 1.0);
  y1Line_->point1->setCoords(0.0, cursors_.y1);
  y1Line_->point2->setCoords(1.0, cursors_.y1);
  y2Line_->point1->setCoords(0.0, cursors_.y2);
  y2Line_->point2->setCoords(1.0, cursors_.y2);
  const double key2 = ChartKey(cursors_.x2);
  x2Line_->point1->setCoords(key2, 0.0);
  x2Line_->point2->setCoords(key2, 1.0);
  x2Line_->setVisible(verticalActive_);
  verticalLine_->setVisible(verticalActive_);
  y1Line_->setVisible(verticalActive_ && verticalCross_);
  y2Line_->setVisible(horizontalActive_);
}

void TrendChart::SetCursorX(DateTime x) {
  if (x == cursors_.x) return;
  cursors_.x = x;
  UpdateCursorItems();
  Repaint();
  emit cursorMoved(x);
}

void TrendChart::SetCursorX2(DateTime x2) {
  if (x2 == cursors_.x2) return;
  cursors_.x2 = x2;
  UpdateCursorItems();
  Repaint();
  emit cursor2Moved(x2);
}

void TrendChart::SetCursorY1(double y) {
  if (y == cursors_.y1) return;
  cursors_.y1 = y;
  UpdateCursorItems();
  Repaint();
  emit cursorMoved(cursors_.x);
}

void TrendChart::SetCursorY2(double y) {
  if (y == cursors_.y2) return;
  cursors_.y2 = y;
  UpdateCursorItems();
  Repaint();
}

void TrendChart::SetVerticalCursor(bool active, bool cross) {
  verticalActive_ = active;
  verticalCross_ = cross;
  UpdateCursorItems();
  Repaint();
}

void TrendChart::SetHorizontalCursorActive(bool active) {
  horizontalActive_ = active;
  UpdateCursorItems();
  Repaint();
}

void TrendChart::Repaint() {
  if (repaintPending_) return;
  repaintPending_ = true;
  QMetaObject::invokeMethod(this, &TrendChart::RepaintNow, Qt::QueuedConnection);
}

void TrendChart::RepaintNow() {
  repaintPending_ = false;
  const QSize needed = legend->minimumOuterSizeHint();
  const QRect room = legend->outerRect();
  if (legend->visible() && (needed.width() > room.width() || needed.height() > room.height())) {
    replot();  // the legend needs more room: lay the chart out again
    return;
  }
  cursorLayer_->replot();
}

// ---------------------------------------------------------------------------------------------
// Mouse

bool TrendChart::PressOnLegend(const QPoint& pos) {
  if (!legend->visible() || !legend->outerRect().contains(pos)) return false;
  for (std::size_t k = 0; k < legendShown_; ++k) {
    if (legendEntries_[k]->rect().contains(pos)) {
      SetLineVisible(legendFirst_ + k, !LineVisible(legendFirst_ + k));
      return true;
    }
  }
  if (legendAbove_->visible() && legendAbove_->rect().contains(pos)) {
    ScrollLegend(-static_cast<std::ptrdiff_t>(legendShown_));
  } else if (legendBelow_->visible() && legendBelow_->rect().contains(pos)) {
    ScrollLegend(static_cast<std::ptrdiff_t>(legendShown_));
  }
  return true;
}

bool TrendChart::GrabCursor(const QPoint& pos) {
  if (!axisRect()->rect().adjusted(-kCursorGrabPixels, -kCursorGrabPixels, kCursorGrabPixels,
                                   kCursorGrabPixels).contains(pos)) {
    return false;
  }
  auto near = [](double pixel, int at) { return std::abs(pixel - at) <= kCursorGrabPixels; };
  const double xPixel = xAxis->coordToPixel(ChartKey(cursors_.x));
  const double x2Pixel = xAxis->coordToPixel(ChartKey(cursors_.x2));
  dragX_ = verticalActive_ && near(xPixel, pos.x());
  // The nearer of the two vertical cursors when both are within reach.
  dragX2_ = verticalActive_ && near(x2Pixel, pos.x()) &&
            (!dragX_ || std::abs(x2Pixel - pos.x()) < std::abs(xPixel - pos.x()));
  if (dragX2_) dragX_ = false;
  dragY1_ = verticalActive_ && verticalCross_ && !dragX2_ && near(yAxis->coordToPixel(cursors_.y1), pos.y());
  dragY2_ = !dragX_ && !dragX2_ && !dragY1_ && horizontalActive_ && near(yAxis->coordToPixel(cursors_.y2), pos.y());
  return dragX_ || dragX2_ || dragY1_ || dragY2_;
}

void TrendChart::DragCursorTo(const QPoint& pos) {
  const QRect area = axisRect()->rect();
  const int x = std::clamp(pos.x(), area.left(), area.right());
  const int y = std::clamp(pos.y(), area.top(), area.bottom());
  if (dragX_) SetCursorX(ChartDays(xAxis->pixelToCoord(x)));
  if (dragX2_) SetCursorX2(ChartDays(xAxis->pixelToCoord(x)));
  if (dragY1_) SetCursorY1(yAxis->pixelToCoord(y));
  if (dragY2_) SetCursorY2(yAxis->pixelToCoord(y));
}

void TrendChart::UpdateHoverShape(const QPoint& pos) {
  const bool wasX = dragX_, wasY1 = dragY1_, wasY2 = dragY2_, wasX2 = dragX2_;
  const bool overCursor = GrabCursor(pos);
  Qt::CursorShape shape = Qt::ArrowCursor;
  if (overCursor) {
    shape = (dragX_ || dragX2_) && !dragY1_ ? Qt::SizeHorCursor : dragX_ ? Qt::SizeAllCursor : Qt::SizeVerCursor;
  }
  dragX2_ = wasX2;
  dragX_ = wasX;
  dragY1_ = wasY1;
  dragY2_ = wasY2;
  if (cursor().shape() != shape) setCursor(shape);
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->pos();
  if (event->button() == Qt::LeftButton) {
    if (PressOnLegend(pos)) return;
    if (GrabCursor(pos)) {
      drag_ = Drag::Cursor;
      return;
    }
    if (zoomAllowed_ && axisRect()->rect().contains(pos)) QCustomPlot::mousePressEvent(event);
    return;
  }
  if (event->button() == Qt::RightButton && legend->visible() && legend->outerRect().contains(pos)) {
    for (std::size_t k = 0; k < legendShown_; ++k) {
      if (legendEntries_[k]->rect().contains(pos)) {
        emit legendMenuRequested(legendFirst_ + k, event->globalPosition().toPoint());
        break;
      }
    }
    return;
  }
  if (event->button() == Qt::RightButton && scrollAllowed_ && axisRect()->rect().contains(pos)) {
    drag_ = Drag::Scroll;
    dragStart_ = pos;
    dragStartRanges_ = Ranges();
  }
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->pos();
  if (drag_ == Drag::Cursor) {
    DragCursorTo(pos);
    return;
  }
  if (drag_ == Drag::Scroll) {
    // The content follows the mouse: the ranges move against it by the pixels' worth of each axis.
    const QRect area = axisRect()->rect();
    const ViewRanges& start = dragStartRanges_;
    const double xPerPixel = (start.x1 - start.x0) / std::max(1, area.width());
    const double yPerPixel = (start.y1 - start.y0) / std::max(1, area.height());
    const double dx = -(pos.x() - dragStart_.x()) * xPerPixel;
    const double dy = (pos.y() - dragStart_.y()) * yPerPixel;
    SaveHomeRanges();
    SetRanges(ViewRanges{start.x0 + dx, start.x1 + dx, start.y0 + dy, start.y1 + dy});
    replot(rpQueuedReplot);
    emit scrolled();
    return;
  }
  if (event->buttons() == Qt::NoButton) UpdateHoverShape(pos);
  QCustomPlot::mouseMoveEvent(event);
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
  if (drag_ != Drag::None) {
    drag_ = Drag::None;
    return;
  }
  QCustomPlot::mouseReleaseEvent(event);
}

void TrendChart::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (selectionRect()->isActive()) selectionRect()->cancel();
  drag_ = Drag::None;
  emit doubleClicked();
}

void TrendChart::wheelEvent(QWheelEvent* event) {
  // Over a legend that does not show every entry, the wheel scrolls its entries; nothing else.
  if (!legend->visible() || legendShown_ >= lines_.size() ||
      !legend->outerRect().contains(event->position().toPoint())) {
    event->ignore();
    return;
  }
  wheelRemainder_ += event->angleDelta().y();
  const int notches = wheelRemainder_ / kWheelNotch;
  wheelRemainder_ -= notches * kWheelNotch;
  ScrollLegend(-static_cast<std::ptrdiff_t>(notches) * kLegendWheelEntries);
  event->accept();
}

}  // namespace vantiro
