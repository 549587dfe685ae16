#pragma once
// The trend chart control: black chart with green grid and frame, date-time bottom axis with
// two-line labels, checkable legend on the right, rubber-band zoom and undo with the left button,
// scrolling with the right button, and the two cursors on a layer of their own (with the legend). It draws what it is
// given and reports what the user did; the rules of the view live in core (chart/).

#include <qcustomplot.h>

#include <optional>
#include <vector>

#include "chart/ChartLines.h"
#include "chart/ui/ChartParts.h"
#include "chart/ZoomLimits.h"

namespace vantiro {

class CheckableLegendItem;
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
  inline static constexpr int kZoomMinimumPixels = 16;
  inline static constexpr int kCursorGrabPixels = 10;

  // Lines. A line whose points never go back in time is drawn as a graph; one whose times run
  // backwards (CSV imports, clock changes) as a curve in stored order. Points at `gapHeight` break
  // the line.
  void ClearChart();
  std::size_t AddLines(std::vector<ChartLine>&& lines, double gapHeight);
  // With `rescale` off the automatic axes wait for RescaleAutomaticAxes (a live reading appends
  // one point to every line and rescales once: each rescale looks at every point).
  void AppendPoint(std::size_t line, DateTime x, double y, bool rescale = true);
  // Automatic axes fitted to their lines' extent.
  void RescaleAutomaticAxes();
  void EmptyLine(std::size_t line);
  std::size_t LineCount() const { return lines_.size(); }
  const ChartLine& Line(std::size_t line) const { return lines_[line].data; }
  QCPAbstractPlottable* Plottable(std::size_t line) const { return lines_[line].plottable; }
  void SetLineTitle(std::size_t line, const QString& title);
  QString LineTitleShown(std::size_t line) const;
  bool LineVisible(std::size_t line) const;
  void SetLineVisible(std::size_t line, bool visible);
  // The legend entry of a line, to click its check box.
  CheckableLegendItem* LegendItem(std::size_t line) const { return lines_[line].legendItem; }
  void SetLegendTitle(const QString& title);
  QString LegendTitle() const;

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

  // Cursors. Setting X or Y1 to a different value raises cursorMoved; Y2 has no read-out.
  CursorPositions Cursors() const { return cursors_; }
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
    QCPAbstractPlottable* plottable = nullptr;
    CheckableLegendItem* legendItem = nullptr;
    int legendRow = 0;
    double gapHeight = 0.0;
  };
  enum class Drag { None, Cursor, Scroll };

  void SetUpAppearance();
  void SetUpLegend();
  void SetUpCursors();
  void LayOutForSize(const QSize& size);
  QCPAbstractPlottable* CreatePlottable(const ChartLine& line, double gapHeight, ValueSpan& values);
  void RemoveLegendEntries();
  void UpdateCursorItems();
  void SaveHomeRanges();
  void SetRanges(const ViewRanges& ranges);
  void OnRubberBand(const QRect& rect, QMouseEvent* event);
  bool PressOnLegend(const QPoint& pos);
  bool GrabCursor(const QPoint& pos);
  void DragCursorTo(const QPoint& pos);
  void UpdateHoverShape(const QPoint& pos);

  std::vector<Series> lines_;
  QSharedPointer<StepDateTimeTicker> bottomTicker_;
  QSharedPointer<StepNumberTicker> leftTicker_;
  LegendTitleItem* legendTitle_ = nullptr;
  QCPLayoutElement* legendTopSpace_ = nullptr;
  QCPLayer* cursorLayer_ = nullptr;
  QCPItemStraightLine* verticalLine_ = nullptr;
  QCPItemStraightLine* y1Line_ = nullptr;
  QCPItemStraightLine* y2Line_ = nullptr;

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
  bool dragX_ = false, dragY1_ = false, dragY2_ = false;
  QPoint dragStart_;
  ViewRanges dragStartRanges_;
};

}  // namespace vantiro
