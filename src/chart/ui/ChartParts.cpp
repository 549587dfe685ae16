#include "chart/ui/ChartParts.h"

#include <cmath>

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
  return QSize(metrics.horizontalAdvance(text_) + mMargins.left() + mMargins.right(),
               metrics.height() + mMargins.top() + mMargins.bottom());
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

}  // namespace vantiro
