#pragma once
// The two printed reports, drawn with QPainter in millimetres on any QPrinter (the preview's, a
// printer, a PDF file): the list report of the table page on show and the chart report.

#include <QImage>
#include <string>
#include <vector>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace vantiro {

class TrendChart;

// The table page on show: the column captions and each row's texts (number, time, channels).
struct ListReportData {
  std::vector<std::string> captions;
  std::vector<std::vector<std::string>> rows;
  std::string printTime;
};

struct ChartReportData {
  QImage picture;  // the chart as shown, colours inverted
  std::string printTime;
  std::string printRegion;
};

// Page size, orientation and margins of each report.
void SetUpListPrinter(QPagedPaintDevice& device, const ListReportData& data);
void SetUpChartPrinter(QPagedPaintDevice& device);

// The reports on a printer or a PDF writer whose page layout is set.
void PaintListReport(QPagedPaintDevice& device, const ListReportData& data);
void PaintChartReport(QPagedPaintDevice& device, const ChartReportData& data);

// The chart painted as shown (zoom, legend read-out, cursors) into a 24-bit picture, every colour
// inverted so that the black background prints white. A null picture when it cannot be made.
QImage InvertedChartPicture(TrendChart& chart);

// Opens the report's preview through the prompts (print, page setup, PDF from there).
void PreviewListReport(QWidget* parent, const ListReportData& data);
void PreviewChartReport(QWidget* parent, const ChartReportData& data);

}  // namespace vantiro
