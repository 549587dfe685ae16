#pragma once
// The program's faces. The recorder's software was laid out for Verdana (chart) and Arial (table,
// reports); Debian has neither, so the chart uses DejaVu Sans and the table and reports Liberation
// Sans (metric-compatible with Arial). Chinese text falls back to the installed CJK font.

#include <QFont>
#include <QString>

namespace vantiro {

// The chart's axis labels and legend: DejaVu Sans, 8 pt.
QFont ChartFont();
// The data table: Liberation Sans, 8 pt.
QFont TableFont();
// A report's text: Liberation Sans at `pixels` pixels of a 96-per-inch page, in points.
QFont ReportFont(double pixels, bool bold = false);

// `font` made smaller, a quarter point at a time, until `text` fits `width` in the units of the
// device `font` is measured on (a screen when `device` is null), but not below `minimumPoints`.
// The font as given when the text fits already.
QFont ShrinkFontToFit(QFont font, const QString& text, double width, double minimumPoints,
                      class QPaintDevice* device = nullptr);

}  // namespace vantiro
