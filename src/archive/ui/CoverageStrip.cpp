#include "archive/ui/CoverageStrip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace vantiro {
namespace {

const QColor kCovered(60, 160, 60);
const QColor kHole(215, 215, 215);
const QColor kPeriod(0, 110, 230, 90);
const QColor kPeriodEdge(0, 90, 200);

}  // namespace

CoverageStrip::CoverageStrip(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CoverageStrip"));
  setMouseTracking(false);
  setCursor(Qt::OpenHandCursor);
  setToolTip(QStringLiteral("滚轮缩放，拖动平移，单击把时段移到此处"));
}

void CoverageStrip::SetCoverage(std::vector<ArchiveSpan> coverage) {
  coverage_ = std::move(coverage);
  view_.Fit(coverage_);
  update();
}

void CoverageStrip::SetPeriod(ArchiveSpan period) {
  period_ = period;
  update();
}

QSize CoverageStrip::sizeHint() const { return QSize(600, std::max(64, minimumSizeHint().height())); }

QSize CoverageStrip::minimumSizeHint() const {
  // A bar of 12 pixels and a line of labels under its ticks.
  return QSize(200, std::max(48, kBarTop + 12 + kTickLength + fontMetrics().height() + 2));
}

int CoverageStrip::BarHeight() const {
  return std::max(12, height() - kBarTop - kTickLength - fontMetrics().height() - 2);
}

std::vector<StripLabel> CoverageStrip::Labels() const {
  std::vector<StripLabel> labels;
  const int w = width();
  const QFontMetricsF metrics(font());
  const double top = kBarTop + BarHeight() + kTickLength;
  // Under a bar squeezed to its least, a line of labels that would not fit is left out whole.
  if (top + metrics.height() > height()) return labels;
  const int spacing = std::max(60, fontMetrics().horizontalAdvance(QStringLiteral("2025-03")) + 16);
  double lastRight = -1.0;
  for (const StripTick& tick : StripTicks(view_, w, spacing)) {
    const QString text = QString::fromStdString(tick.text);
    const QRectF rect(view_.X(tick.ms, w) + 2, top, std::ceil(metrics.horizontalAdvance(text)), metrics.height());
    if (rect.left() < 0 || rect.right() > w) continue;
    if (lastRight >= 0 && rect.left() < lastRight + 4) continue;
    labels.push_back({text, rect});
    lastRight = rect.right();
  }
  return labels;
}

void CoverageStrip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width();
  const int barTop = kBarTop;
  const int barHeight = BarHeight();
  p.fillRect(QRect(0, barTop, w, barHeight), kHole);
  for (const ArchiveSpan& span : coverage_) {
    const double x0 = std::max(0.0, view_.X(span.firstMs, w));
    const double x1 = std::min(static_cast<double>(w), view_.X(span.lastMs, w));
    if (x1 < 0 || x0 > w) continue;
    // At least a pixel wide, so that a short recording shows at any zoom.
    p.fillRect(QRectF(x0, barTop, std::max(1.0, x1 - x0), barHeight), kCovered);
  }
  if (period_.lastMs > period_.firstMs) {
    const double x0 = view_.X(period_.firstMs, w);
    const double x1 = view_.X(period_.lastMs, w);
    const QRectF r(x0, barTop - 2, std::max(2.0, x1 - x0), barHeight + 4);
    p.fillRect(r, kPeriod);
    p.setPen(QPen(kPeriodEdge, 1.5));
    p.drawRect(r);
  }
  p.setPen(palette().color(QPalette::WindowText));
  const int spacing = std::max(60, fontMetrics().horizontalAdvance(QStringLiteral("2025-03")) + 16);
  for (const StripTick& tick : StripTicks(view_, w, spacing)) {
    const double x = view_.X(tick.ms, w);
    p.drawLine(QPointF(x, barTop + barHeight), QPointF(x, barTop + barHeight + kTickLength));
  }
  const double ascent = QFontMetricsF(font()).ascent();
  for (const StripLabel& label : Labels()) p.drawText(QPointF(label.rect.left(), label.rect.top() + ascent), label.text);
}

void CoverageStrip::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0.0) return;
  view_.Zoom(std::pow(0.8, steps), event->position().x(), width());
  update();
  event->accept();
}

void CoverageStrip::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressX_ = lastX_ = event->position().x();
  dragged_ = false;
  setCursor(Qt::ClosedHandCursor);
}

void CoverageStrip::mouseMoveEvent(QMouseEvent* event) {
  if (pressX_ < 0) return;
  const double x = event->position().x();
  if (std::fabs(x - pressX_) > 3) dragged_ = true;
  if (dragged_) {
    view_.Pan(x - lastX_, width());
    lastX_ = x;
    update();
  }
}

void CoverageStrip::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || pressX_ < 0) return;
  setCursor(Qt::OpenHandCursor);
  if (!dragged_) {
    // The period, its length kept, centred where the click fell.
    const std::int64_t centre = view_.TimeAt(event->position().x(), width());
    const std::int64_t length = std::max<std::int64_t>(period_.lastMs - period_.firstMs, 3600000 - 1);
    period_ = {centre - length / 2, centre - length / 2 + length};
    update();
    emit periodPicked(period_.firstMs, period_.lastMs);
  }
  pressX_ = -1.0;
}

}  // namespace vantiro
