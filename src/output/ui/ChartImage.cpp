#include "output/ui/ChartImage.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <string_view>

#include "chart/ui/TrendChart.h"
#include "platform/AtomicFile.h"

namespace vantiro {

QByteArray ChartBitmap(TrendChart& chart) {
  int width = chart.width();
  int height = chart.height();
  if (width <= 0 || height <= 0) {
    width = TrendChart::kPageWidth;
    height = TrendChart::kPageHeight;
  }
  const QImage image = chart.Render(width, height).convertToFormat(QImage::Format_RGB32);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "BMP")) return {};
  return bytes;
}

bool SaveChartBitmap(TrendChart& chart, const QString& path) {
  const QByteArray bytes = ChartBitmap(chart);
  if (bytes.isEmpty()) return false;
  return WriteFileAtomically(QFile::encodeName(path).toStdString(),
                             std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace vantiro
