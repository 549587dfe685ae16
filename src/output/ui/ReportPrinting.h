#pragma once
// The two printed reports, drawn with QPainter in millimetres on any QPrinter (the preview's, a
// printer, a PDF file): the list report of the table page on show and the chart report.

#include <QByteArray>
#include <QImage>
#include <functional>
#include <string>
#include <vector>

class QPageLayout;
class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace vantiro {

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
  // The span panel's table printed under the picture (its header row first), when the panel shows.
  std::vector<std::vector<std::string>> statistics;
};

// Page size, orientation and margins of each report.
void SetUpListPrinter(QPagedPaintDevice& device, const ListReportData& data);
void SetUpChartPrinter(QPagedPaintDevice& device);

// The reports on a printer or a PDF writer whose page layout is set.
void PaintListReport(QPagedPaintDevice& device, const ListReportData& data);
void PaintChartReport(QPagedPaintDevice& device, const ChartReportData& data);

// The chart's picture as shown (zoom, legend read-out, cursors) as a 24-bit picture, every colour
// inverted so that the black background prints white. A null picture when it cannot be made.
QImage InvertedChartPicture(const QImage& shown);

// The report painted by `paint` as the bytes of a PDF document with the page layout `layout`
// (1200 dots per inch, as a high-resolution printer); empty when it could not be made.
QByteArray ReportPdf(const QPageLayout& layout, const std::function<void(QPagedPaintDevice&)>& paint);

// The preview's "保存为PDF": the save dialog, the name checked (MayWriteTarget), then the document
// written through the atomic writer: the file that had the name is replaced only by a complete
// document, a failure (a full disk, a read-only folder, the file-size limit) is reported with the
// export's message.
void SaveReportPdf(QWidget* over, const QPageLayout& layout,
                   const std::function<void(QPagedPaintDevice&)>& paint);

// Opens the report's preview through the prompts (print, page setup, PDF from there).
void PreviewListReport(QWidget* parent, const ListReportData& data);
void PreviewChartReport(QWidget* parent, const ChartReportData& data);

}  // namespace vantiro
