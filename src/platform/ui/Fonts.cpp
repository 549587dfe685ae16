#include "platform/ui/Fonts.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <algorithm>

namespace vantiro {

QFont ChartFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSize(8);
  return font;
}

QFont TableFont() {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPointSize(8);
  return font;
}

QFont ReportFont(double pixels, bool bold) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPointSizeF(pixels * 72.0 / 96.0);
  font.setBold(bold);
  return font;
}

QFont ShrinkFontToFit(QFont font, const QString& text, double width, double minimumPoints,
                      QPaintDevice* device) {
  auto advance = [&text, device](const QFont& f) {
    const QFontMetricsF metrics = device ? QFontMetricsF(f, device) : QFontMetricsF(f);
    return metrics.horizontalAdvance(text);
  };
  double points = font.pointSizeF();
  if (points <= 0) return font;  // a pixel-sized font is left as it is
  while (advance(font) > width && points > minimumPoints) {
    points = std::max(minimumPoints, points - 0.25);
    font.setPointSizeF(points);
  }
  return font;
}

}  // namespace vantiro
