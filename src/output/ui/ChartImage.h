#pragma once
// The trend chart as a picture file: always a Windows bitmap (BMP), whatever extension the name
// has, showing the chart as it is displayed.

#include <QByteArray>
#include <QString>

namespace vantiro {

class TrendChart;

// The BMP file bytes of the chart at its size on screen (the chart page's size when it has not
// been laid out yet).
QByteArray ChartBitmap(TrendChart& chart);

// Writes ChartBitmap to `path`; the file that had the name is replaced only when all of it was
// written. False when it could not be.
bool SaveChartBitmap(TrendChart& chart, const QString& path);

}  // namespace vantiro
