#include "output/ui/ChartImage.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <string_view>

#include "platform/AtomicFile.h"

namespace vantiro {

QByteArray ChartBitmap(const QImage& picture) {
  const QImage image = picture.convertToFormat(QImage::Format_RGB32);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (image.isNull() || !image.save(&buffer, "BMP")) return {};
  return bytes;
}

bool SaveChartBitmap(const QImage& picture, const QString& path) {
  const QByteArray bytes = ChartBitmap(picture);
  if (bytes.isEmpty()) return false;
  return WriteFileAtomically(QFile::encodeName(path).toStdString(),
                             std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace vantiro
