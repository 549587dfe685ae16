#pragma once
// The archive browser's strip of time: where the chosen recorder has data (green) and where its
// holes are (grey), the chosen period over it (blue), labels on round times. The wheel zooms around
// the mouse from thirty years down to an hour, a drag moves the window, a click moves the period
// there keeping its length.

#include <QWidget>
#include <vector>

#include "archive/ArchivePeriods.h"

namespace vantiro {

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

  QSize sizeHint() const override { return QSize(600, 64); }
  QSize minimumSizeHint() const override { return QSize(200, 48); }

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
  std::vector<ArchiveSpan> coverage_;
  ArchiveSpan period_{0, 0};
  StripView view_;
  double pressX_ = -1.0;
  double lastX_ = 0.0;
  bool dragged_ = false;
};

}  // namespace vantiro
