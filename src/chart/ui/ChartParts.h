#pragma once
// Small pieces of the trend chart that the plotting library does not have: legend entries with a
// check box, the legend's title line, label tickers with a step set from outside, and the frame
// around the chart and its plot area.

#include <qcustomplot.h>

#include <cmath>
#include <type_traits>

namespace vantiro {

// A legend entry with a check box in front: ticked while its line is shown. The legend's rows show
// whichever lines are on show, so an entry can be handed another line.
class CheckableLegendItem : public QCPPlottableLegendItem {
 public:
  CheckableLegendItem(QCPLegend* legend, QCPAbstractPlottable* plottable);
  void SetPlottable(QCPAbstractPlottable* plottable) { mPlottable = plottable; }
  // The check box's rectangle in widget coordinates (valid after a layout).
  QRect CheckBoxRect() const;

 protected:
  void draw(QCPPainter* painter) override;
  QSize minimumOuterSizeHint() const override;

 private:
  int BoxSize() const;
};

// A line of the legend that tells of entries above or below those on show: a line tall, its text
// in the legend's colour.
class LegendPagerItem : public QCPAbstractLegendItem {
 public:
  explicit LegendPagerItem(QCPLegend* legend);
  void SetText(const QString& text) { text_ = text; }
  const QString& Text() const { return text_; }
  int Lines() const { return static_cast<int>(text_.count(QLatin1Char('\n'))) + 1; }

 protected:
  void draw(QCPPainter* painter) override;
  QSize minimumOuterSizeHint() const override;

 private:
  QString text_;
};

// The legend's title line: no height while its text is empty.
class LegendTitleItem : public QCPAbstractLegendItem {
 public:
  explicit LegendTitleItem(QCPLegend* legend);
  void SetText(const QString& text) { text_ = text; }
  const QString& Text() const { return text_; }
  int Lines() const { return static_cast<int>(text_.count(QLatin1Char('\n'))) + 1; }

 protected:
  void draw(QCPPainter* painter) override;
  QSize minimumOuterSizeHint() const override;

 private:
  QString text_;
};

// Labels at multiples of a step given from outside; when that step would crowd the axis with more
// labels than `maxTicks`, or is no usable number, the ticker picks its own.
template <typename Base>
class StepTicker : public Base {
 public:
  void SetStep(double step) { step_ = step; }
  double Step() const { return step_; }
  void SetMaxTicks(int maxTicks) { maxTicks_ = maxTicks; }

 protected:
  double getTickStep(const QCPRange& range) override {
    if (std::isfinite(step_) && step_ > 0.0 && range.size() / step_ <= maxTicks_) {
      if constexpr (std::is_same_v<Base, QCPAxisTickerDateTime>) this->mDateStrategy = Base::dsNone;
      return step_;
    }
    return Base::getTickStep(range);
  }
  int getSubTickCount(double) override { return 0; }

 private:
  double step_ = 0.0;
  int maxTicks_ = 50;
};
using StepNumberTicker = StepTicker<QCPAxisTicker>;

// The decimals value labels `step` apart need to differ: none for a step of 1 or more, one for
// 0.1 .. 0.9, two for 0.25 or 0.05, at most six.
int ValueLabelDecimals(double step);

// Value labels: whole numbers while the step allows, else with the decimals the step needs (a
// narrow view of 10.2 .. 10.8 labelled 10.2, 10.3, ... rather than 10, 10, ...).
class StepValueTicker : public StepNumberTicker {
 protected:
  double getTickStep(const QCPRange& range) override {
    lastStep_ = StepNumberTicker::getTickStep(range);
    return lastStep_;
  }
  QString getTickLabel(double tick, const QLocale& locale, QChar, int) override {
    return locale.toString(tick, 'f', ValueLabelDecimals(lastStep_));
  }

 private:
  double lastStep_ = 1.0;
};

// Time labels (steps in seconds) on exact multiples of the step, counted from the tick origin. The
// keys are seconds since 1970 and the step a tenth of a span of day numbers: counted from the origin
// in floating point the ticks drift by seconds (08:11:59 where 08:12:00 was meant), so they are
// worked out in whole milliseconds, and a label names its tick's millisecond rounded, not cut.
// Time labels: when the step is not a whole number of seconds, they show the milliseconds too
// (".zzz"), so that labels a quarter second apart differ.
class StepDateTimeTicker : public StepTicker<QCPAxisTickerDateTime> {
 public:
  void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) override;

 protected:
  QString getTickLabel(double tick, const QLocale& locale, QChar formatChar, int precision) override;

 private:
  bool milliseconds_ = false;  // the labels being made show milliseconds
};

// A graph whose dense stretches are drawn a pixel column at a time: where several of its points
// fall into one column (a long recording's line: each column's first, lowest, highest and last
// value), the column is filled once from its lowest to its highest point and joined to the next
// column from its last point, instead of the polyline running up and down the column. The pixels
// are those of the polyline; a line that spans the plot's height (the range and unit scales)
// costs half as much to draw.
class ColumnGraph : public QCPGraph {
 public:
  using QCPGraph::QCPGraph;

 protected:
  void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const override;
};

// The outer frame of the chart and the border of its plot area (the back wall), 2 px each.
class ChartFrame : public QCPLayerable {
 public:
  ChartFrame(QCustomPlot* plot, QCPAxisRect* axisRect, const QString& layer);

 protected:
  void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
  void draw(QCPPainter* painter) override;
  QRect clipRect() const override;

 private:
  QCPAxisRect* axisRect_;
};

}  // namespace vantiro
