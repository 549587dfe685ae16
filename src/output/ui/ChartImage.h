#pragma once
// The trend chart as a picture file: always a Windows bitmap (BMP), whatever extension the name
// has, showing the chart as it is displayed (the picture the chart renders of itself at its size
// on screen).

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vantiro {

// The BMP file bytes of the chart's picture.
QByteArray ChartBitmap(const QImage& picture);

// Writes ChartBitmap to `path`; the file that had the name is replaced only when all of it was
// written. False when it could not be.
bool SaveChartBitmap(const QImage& picture, const QString& path);

}  // namespace vantiro
