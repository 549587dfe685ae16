#pragma once
// The archive browser's strip of time: where the chosen recorder has data (green) and where its
// holes are (grey), the chosen period over it (blue), labels on round times. The wheel zooms around
// the mouse from thirty years down to an hour, a drag moves the window, a click moves the period
// there keeping its length.

#include <QRectF>
#include <QString>
#include <QWidget>
#include <vector>

#include "archive/ArchivePeriods.h"

namespace vantiro {

// A time label under the strip: its text and where it is drawn.
struct StripLabel {
  QString text;
  QRectF rect;
};

class CoverageStrip : public QWidget {
  Q_OBJECT

 public:
  explicit CoverageStrip(QWidget* parent = nullptr);

  // The spans to show, and the window fitted to them.
  void SetCoverage(std::vector<ArchiveSpan> coverage);
  void SetPeriod(ArchiveSpan period);
  const StripView& View() const { return view_; }
  StripView& View() { return view_; }
  const std::vector<ArchiveSpan>& Coverage() const { return coverage_; }

  // The labels at the strip's size, each right of its tick, whole and inside the strip: one that
  // would reach past its end or into the label before it is left out.
  std::vector<StripLabel> Labels() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // A click on the strip: the period moved there.
  void periodPicked(qint64 fromMs, qint64 toMs);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The bar's top and height, the labels under it.
  static constexpr int kBarTop = 4;
  static constexpr int kTickLength = 4;
  int BarHeight() const;

  std::vector<ArchiveSpan> coverage_;
  ArchiveSpan period_{0, 0};
  StripView view_;
  double pressX_ = -1.0;
  double lastX_ = 0.0;
  bool dragged_ = false;
};

}  // namespace vantiro
