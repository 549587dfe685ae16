#pragma once
// The trend chart control: black chart with green grid and frame, date-time bottom axis with
// two-line labels, checkable legend on the right (its entries scrolled with the mouse wheel when
// they do not all fit), rubber-band zoom and undo with the left button,
// scrolling with the right button, and the two cursors on a layer of their own (with the legend). It draws what it is
// given and reports what the user did; the rules of the view live in core (chart/).

#include <qcustomplot.h>

#include <optional>
#include <vector>

#include "chart/AlarmEvents.h"
#include "chart/ChartLines.h"
#include "chart/ChartScales.h"
#include "chart/ui/ChartParts.h"
#include "chart/ZoomLimits.h"

namespace vantiro {

class AlarmBandLayer;
class CheckableLegendItem;
class LegendPagerItem;
class LegendTitleItem;

// DateTime days <-> the plot's date-time keys (seconds since 1970, read as UTC so that the local
// wall-clock time of the recorder shows unchanged).
inline double ChartKey(DateTime days) { return (days - kUnixEpochDay) * kSecondsPerDay; }
inline DateTime ChartDays(double key) { return key / kSecondsPerDay + kUnixEpochDay; }

class TrendChart : public QCustomPlot {
  Q_OBJECT

 public:
  explicit TrendChart(QWidget* parent = nullptr);
  ~TrendChart() override;

  // The chart page's size in the main window (the size pictures from the command line take).
  inline static constexpr int kPageWidth = 1282;
  inline static constexpr int kPageHeight = 881;
  // The least room it asks of a layout: the axes with a few labels and a legend of a few entries.
  inline static constexpr int kMinimumWidth = 300;
  inline static constexpr int kMinimumHeight = 250;
  inline static constexpr int kZoomMinimumPixels = 16;
  inline static constexpr int kCursorGrabPixels = 10;

  // Lines. A line with a band (an overview's: each point a pixel column's mean, lowest and highest
  // value) is drawn through its points with the band between the lowest and highest values around
  // it in a lighter shade of the line's colour, so that a spike of one sample still shows.
  // A line whose points never go back in time is drawn as a graph; one whose times run
  // backwards (CSV imports, clock changes) as a curve in stored order. A line's gap points break
  // it; a point is a gap point by the line's list of them, whatever its height. `gapHeight` is
  // the height of the gap points appended later.
  void ClearChart();
  std::size_t AddLines(std::vector<ChartLine>&& lines, double gapHeight);
  // With `rescale` off the automatic axes wait for RescaleAutomaticAxes (a live reading appends
  // one point to every line and rescales once: each rescale looks at every point).
  void AppendPoint(std::size_t line, DateTime x, double y, bool rescale = true);
  // A gap point: a break of the line at x.
  void AppendGap(std::size_t line, DateTime x, bool rescale = true);
  // Automatic axes fitted to their lines' extent.
  void RescaleAutomaticAxes();
  void EmptyLine(std::size_t line);
  // A line's points replaced by `data` (its title, colour, legend entry and visibility kept): the
  // envelope of the window on show drawn in place of the thinned points, and back. A line drawn in
  // stored order (its times go back) keeps its points.
  void ReplaceLineData(std::size_t line, ChartLine&& data);
  std::size_t LineCount() const { return lines_.size(); }
  const ChartLine& Line(std::size_t line) const { return lines_[line].data; }
  QCPAbstractPlottable* Plottable(std::size_t line) const { return lines_[line].plottable; }
  void SetLineTitle(std::size_t line, const QString& title);
  QString LineTitleShown(std::size_t line) const;
  bool LineVisible(std::size_t line) const;
  // Whether the line shows its points as marks (few of them in view: MarkSparseLines).
  bool LineShowsMarks(std::size_t line) const;
  void SetLineVisible(std::size_t line, bool visible);
  // The legend entry of a line, to click its check box; none while the entry is not on show.
  CheckableLegendItem* LegendItem(std::size_t line) const {
    return LegendEntryShown(line) ? legendEntries_[line - legendFirst_] : nullptr;
  }
  void SetLegendTitle(const QString& title);
  QString LegendTitle() const;

  // The legend takes the chart's height less 4 % above and below, never more: when its entries do
  // not fit, it shows as many as do, a row "▲" above them and a row "▼" with their numbers below
  // ("▼ 21-40/100"), and the mouse wheel over it (or a click on those rows) scrolls them.
  std::size_t LegendFirstShown() const { return legendFirst_; }
  std::size_t LegendEntriesShown() const { return legendShown_; }
  bool LegendEntryShown(std::size_t line) const {
    return line >= legendFirst_ && line - legendFirst_ < legendShown_;
  }
  // Entries later (positive) or earlier (negative), as far as there are any.
  void ScrollLegend(std::ptrdiff_t entries);
  // The rows above and below the entries on show; empty while every entry shows.
  QString LegendAboveText() const;
  QString LegendBelowText() const;

  // The chart is laid out in whatever room it has, so its size hints are its own, whatever it shows
  // (the legend of a CSV import of thousands of channels must not push the window off the screen).
  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

  // Axes; the bottom axis in DateTime days.
  ViewRanges Ranges() const;
  void SetBottomAxis(double min, double max);
  void SetLeftAxis(double min, double max);
  void SetBottomIncrement(double days);
  void SetLeftIncrement(double step);
  double BottomIncrement() const;
  double LeftIncrement() const;
  // An automatic axis follows its lines' extent.
  void SetBottomAutomatic(bool automatic);
  void SetLeftAutomatic(bool automatic);
  bool BottomAutomatic() const { return bottomAutomatic_; }
  bool LeftAutomatic() const { return leftAutomatic_; }

  // Gestures.
  void SetZoomAllowed(bool allowed);
  bool ZoomAllowed() const { return zoomAllowed_; }
  void SetScrollAllowed(bool allowed) { scrollAllowed_ = allowed; }
  bool ScrollAllowed() const { return scrollAllowed_; }
  // Restores the ranges saved when the view first changed, then raises zoomUndone.
  void UndoZoom();
  bool Zoomed() const { return homeRanges_.has_value(); }

  // Value scales. Under "按量程" each line is drawn against its channel's range (SetLineRange; a
  // line without one against the span of its values) on a left axis of 0-100 %; under "按单位分轴"
  // against an axis per unit, stacked on the left, each fitted to its lines. The left axis of
  // Ranges(), zoom, scroll and the horizontal cursors is then the shared 0-100 axis; the lines'
  // points, and so the read-out, keep their real values.
  void SetScale(ChartScale scale);
  ChartScale Scale() const { return scale_; }
  void SetLineRange(std::size_t line, double low, double high);
  // Where a value of a line lands on the left axis of Ranges() under the scale on show.
  double SharedValue(std::size_t line, double value) const;
  // The unit axes on show ("按单位分轴"): their labels and windows in real values.
  std::vector<QCPAxis*> ScaleAxes() const { return scaleAxes_; }

  // Alarm bands: the periods a line spent beyond a limit, shaded in its colour under the lines over
  // the part of the plot beyond the limit (above an upper limit up to the top, below a lower limit
  // down to the bottom, where the line's own value axis puts the limit), with the limit drawn
  // dashed across each period over the shade. A limit outside the plot on the side of its periods
  // leaves a thin strip along that edge. Periods that meet within a pixel column are shaded once.
  struct AlarmBand {
    std::size_t line = 0;
    AlarmEvent event;
  };
  void SetAlarmBands(std::vector<AlarmBand> bands);
  const std::vector<AlarmBand>& AlarmBands() const { return alarmBands_; }

  // Cursors. Setting X or Y1 to a different value raises cursorMoved, X2 cursor2Moved; Y2 has no
  // read-out. The second vertical cursor shows while the vertical cursor does.
  CursorPositions Cursors() const { return cursors_; }
  void SetCursorX2(DateTime x2);
  void SetCursorX(DateTime x);
  void SetCursorY1(double y);
  void SetCursorY2(double y);
  void SetVerticalCursor(bool active, bool cross);
  void SetHorizontalCursorActive(bool active);
  bool VerticalCursorActive() const { return verticalActive_; }
  bool VerticalCursorCross() const { return verticalCross_; }
  bool HorizontalCursorActive() const { return horizontalActive_; }
  QCPLayer* CursorLayer() const { return cursorLayer_; }

  // The chart drawn into a picture of the given size, as it would show at that size.
  QImage Render(int width, int height);

  // Repaints after the cursors or the legend texts changed, once for any number of changes before
  // the event loop runs again: only the cursor layer (cursors and legend) when the legend still
  // fits the room it was laid out in, the whole chart otherwise.
  void Repaint();
  // The same at once.
  void RepaintNow();

 signals:
  void zoomed();
  void scrolled();
  void zoomUndone();
  void doubleClicked();
  void cursorMoved(DateTime x);
  void cursor2Moved(DateTime x2);
  // A line was shown or hidden (its legend entry clicked).
  void lineVisibilityChanged(std::size_t line);
  // The legend's context menu was asked for over a line's entry.
  void legendMenuRequested(std::size_t line, const QPoint& globalPos);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The lowest and highest value a line draws (its gap points left out), kept as points come, so
  // that the automatic left axis need not look at every point again.
  struct ValueSpan {
    bool any = false;
    double low = 0.0;
    double high = 0.0;
    void Take(double value);
  };
  struct Series {
    ChartLine data;
    ValueSpan values;
    std::optional<ValueMap> range;  // the channel's, for "按量程"
    ValueMap map;                   // onto the shared axis under the scale on show
    QCPAbstractPlottable* plottable = nullptr;
    double gapHeight = 0.0;
    // The band of a line drawn from summaries.
    QCPGraph* band = nullptr;
  };
  enum class Drag { None, Cursor, Scroll };

  // Before each replot: a line with fewer points in view than one per 8 pixels of the plot's width
  // shows its points as small marks (a channel with a single sample is visible); others do not.
  void MarkSparseLines();
  void SetUpAppearance();
  void SetUpLegend();
  void SetUpCursors();
  void LayOutForSize(const QSize& size);
  // Fills the legend with the title line and the page of entries that fits `legendRows_` rows.
  void LayOutLegend();
  int LegendRowHeight() const;
  QCPAbstractPlottable* CreatePlottable(const ChartLine& line, ValueSpan& values);
  // The band of `series` made, filled or dropped as its line has one or not.
  void SetBand(Series& series, const ChartLine& line);
  void RemoveLegendEntries();
  void AppendToLine(std::size_t line, DateTime x, double y, bool gap, bool rescale);
  void UpdateCursorItems();
  // The axes of the scale made again (the lines moved onto them), or only their maps and windows
  // brought up to date with the lines' values (a live reading).
  void BuildScaleAxes();
  void UpdateScaleMaps();
  void SyncScaleAxes();
  void ShowUnitAxesInUse();
  QCPAxis* LineAxis(const Series& series) const;
  void SaveHomeRanges();
  void SetRanges(const ViewRanges& ranges);
  void OnRubberBand(const QRect& rect, QMouseEvent* event);
  bool PressOnLegend(const QPoint& pos);
  void AfterRubberBand();
  bool GrabCursor(const QPoint& pos);
  void DragCursorTo(const QPoint& pos);
  void UpdateHoverShape(const QPoint& pos);

  std::vector<Series> lines_;
  QSharedPointer<StepDateTimeTicker> bottomTicker_;
  QSharedPointer<StepNumberTicker> leftTicker_;
  LegendTitleItem* legendTitle_ = nullptr;
  LegendPagerItem* legendAbove_ = nullptr;
  LegendPagerItem* legendBelow_ = nullptr;
  QCPLayoutElement* legendTopSpace_ = nullptr;
  int legendRows_ = 0;           // rows of the legend's height, the title line's included
  std::size_t legendFirst_ = 0;  // the first entry on show
  std::size_t legendShown_ = 0;  // entries on show
  int wheelRemainder_ = 0;       // of a wheel turned less than a notch
  // The legend's rows of entries, each showing the line legendFirst_ + its place (as many as have
  // been on show at once; those beyond legendShown_ are hidden).
  std::vector<CheckableLegendItem*> legendEntries_;
  QCPLayer* cursorLayer_ = nullptr;
  QCPItemStraightLine* verticalLine_ = nullptr;
  QCPItemStraightLine* y1Line_ = nullptr;
  QCPItemStraightLine* y2Line_ = nullptr;
  QCPItemStraightLine* x2Line_ = nullptr;
  ChartScale scale_ = ChartScale::Single;
  std::vector<QCPAxis*> scaleAxes_;       // the axes the scale added, beside yAxis
  std::vector<std::size_t> lineAxis_;     // per line: its place in scaleAxes_
  // Per axis of the scale its lines, and whether the axis is fitted to their values (a unit's axis,
  // a line without a range, the lines past kMostHiddenAxes) or shows one channel range.
  std::vector<UnitGroup> unitGroups_;
  std::vector<bool> groupFitted_;
  static constexpr std::size_t kMostScaleAxes = 16;     // unit axes on show
  static constexpr std::size_t kMostHiddenAxes = 256;   // range axes
  AlarmBandLayer* bandLayer_ = nullptr;
  std::vector<AlarmBand> alarmBands_;

  bool bottomAutomatic_ = true;
  bool leftAutomatic_ = true;
  bool zoomAllowed_ = false;
  bool scrollAllowed_ = true;
  std::optional<ViewRanges> homeRanges_;

  CursorPositions cursors_;
  bool verticalActive_ = false;
  bool verticalCross_ = false;
  bool horizontalActive_ = false;

  bool repaintPending_ = false;
  Drag drag_ = Drag::None;
  bool dragX_ = false, dragY1_ = false, dragY2_ = false, dragX2_ = false;
  QPoint dragStart_;
  ViewRanges dragStartRanges_;
};

}  // namespace vantiro
