#include "output/ui/ReportPrinting.h"

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>
#include <iterator>
#include <string_view>

#include "output/Reports.h"
#include "output/ui/SaveTarget.h"
#include "platform/AtomicFile.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/Prompts.h"

namespace vantiro {
namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Millimetres of the printable area on the printer's device.
class Page {
 public:
  Page(QPainter& painter, const QPagedPaintDevice& device)
      : painter_(painter), perMm_(device.logicalDpiX() / 25.4) {
    painter_.setPen(QPen(Qt::black, 0.2 * perMm_));
  }
  QRectF Mm(double left, double top, double width, double height) const {
    return QRectF(left * perMm_, top * perMm_, width * perMm_, height * perMm_);
  }
  // A text box: wrapped inside the box, cut off where it does not fit, framed when asked.
  void Box(const QRectF& box, const QString& text, const QFont& font, int alignment, bool framed) {
    painter_.save();
    painter_.setClipRect(box);
    painter_.setFont(font);
    const double pad = 0.5 * perMm_;
    painter_.drawText(box.adjusted(pad, 0, -pad, 0), alignment | Qt::TextWordWrap, text);
    painter_.restore();
    if (framed) {
      painter_.setBrush(Qt::NoBrush);
      painter_.drawRect(box);
    }
  }
  // A column caption: one line inside its framed cell. A caption too wide for the cell is set in
  // a smaller face, down to kSmallestCaptionPoints, and only past that cut with an ellipsis.
  void Caption(const QRectF& box, const QString& text, const QFont& font) {
    const double pad = 0.5 * perMm_;
    const QRectF inner = box.adjusted(pad, 0, -pad, 0);
    const QFont fitted =
        ShrinkFontToFit(font, text, inner.width(), kSmallestCaptionPoints, painter_.device());
    const QString shown =
        QFontMetricsF(fitted, painter_.device()).elidedText(text, Qt::ElideRight, inner.width());
    painter_.save();
    painter_.setClipRect(box);
    painter_.setFont(fitted);
    painter_.drawText(inner, kLeftMiddle | Qt::TextSingleLine, shown);
    painter_.restore();
    painter_.setBrush(Qt::NoBrush);
    painter_.drawRect(box);
  }

 private:
  static constexpr int kLeftMiddle = Qt::AlignLeft | Qt::AlignVCenter;
  static constexpr double kSmallestCaptionPoints = 6.0;

  QPainter& painter_;
  double perMm_;
};

constexpr int kLeftMiddle = Qt::AlignLeft | Qt::AlignVCenter;

}  // namespace

void SetUpListPrinter(QPagedPaintDevice& device, const ListReportData& data) {
  const ListReportLayout layout = LayOutListReport(data.captions.size(), data.rows.size());
  device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                    layout.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                    QMarginsF(kListMargin, kListMargin, kListMargin, kListMargin),
                                    QPageLayout::Millimeter));
}

void SetUpChartPrinter(QPagedPaintDevice& device) {
  const double m = kChartReportMargin;
  device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                    QMarginsF(m, m, m, m), QPageLayout::Millimeter));
}

void PaintListReport(QPagedPaintDevice& device, const ListReportData& data) {
  const ListReportLayout layout = LayOutListReport(data.captions.size(), data.rows.size());
  QPainter painter(&device);
  if (!painter.isActive()) return;
  Page page(painter, device);
  const QFont titleFont = ReportFont(13, true);
  const QFont font = ReportFont(11);
  const double pageHeight = device.pageLayout().paintRect(QPageLayout::Millimeter).height();
  const QString pages = QString::number(layout.rowsPerPage.size());
  std::size_t row = 0;
  for (std::size_t p = 0; p < layout.rowsPerPage.size(); ++p) {
    if (p > 0) device.newPage();
    double y = 0.0;
    if (p == 0) {
      page.Box(page.Mm(47.5, 0, 190, 7), QStringLiteral("数据打印"), titleFont,
               Qt::AlignHCenter | Qt::AlignTop, false);
      page.Box(page.Mm(0, 10.65, 190, 8), Text(data.printTime), font, Qt::AlignLeft | Qt::AlignTop, false);
      y += kListTitleHeight;
    }
    // The page header: number, time and the shown channel columns' captions.
    page.Caption(page.Mm(0, y, 15, 6), QStringLiteral("序号"), font);
    page.Caption(page.Mm(15, y, 30, 6), QStringLiteral("时间"), font);
    for (std::size_t i = 0; i < layout.channelColumns; ++i) {
      page.Caption(page.Mm(45 + 15.0 * i, y, 15, 6), Text(data.captions[i + 2]), font);
    }
    y += kListRowHeight;
    for (std::size_t n = 0; n < layout.rowsPerPage[p]; ++n, ++row, y += kListRowHeight) {
      const std::vector<std::string>& texts = data.rows[row];
      auto cell = [&texts](const std::string& name) {
        return Text(OnGetListValue(name, texts).value_or(std::string()));
      };
      page.Box(page.Mm(0, y, 15, 6), cell("number"), font, kLeftMiddle, true);
      page.Box(page.Mm(15, y, 30, 6), cell("dateTime"), font, kLeftMiddle, true);
      for (std::size_t i = 0; i < layout.channelColumns; ++i) {
        page.Box(page.Mm(45 + 15.0 * i, y, 15, 6), cell("value" + std::to_string(i + 1)), font,
                 kLeftMiddle, true);
      }
    }
    page.Box(page.Mm(0, pageHeight - kListRowHeight, 285, 6),
             QStringLiteral("%1 of %2").arg(p + 1).arg(pages), font, Qt::AlignCenter, false);
  }
}

void PaintChartReport(QPagedPaintDevice& device, const ChartReportData& data) {
  QPainter painter(&device);
  if (!painter.isActive()) return;
  Page page(painter, device);
  const QFont font = ReportFont(13);
  page.Box(page.Mm(0, 4, 287, 8), QStringLiteral("趋势图打印"), font, Qt::AlignCenter, true);
  page.Box(page.Mm(0, 12, 287, 8), Text(data.printTime), font, kLeftMiddle, true);
  page.Box(page.Mm(0, 20, 287, 8), Text(data.printRegion), font, kLeftMiddle, true);
  // The picture scaled into its box with its proportions kept, from the box's top left corner;
  // a shorter box when the statistics table follows it.
  const bool table = !data.statistics.empty();
  const QRectF box = page.Mm(0, 30, 287, table ? 120 : 170);
  double pictureBottom = 30.0;
  if (!data.picture.isNull()) {
    const QSizeF size = QSizeF(data.picture.size()).scaled(box.size(), Qt::KeepAspectRatio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(box.topLeft(), size), data.picture);
    pictureBottom += 120.0 * size.height() / std::max(1.0, box.height());
  }
  if (!table) return;
  // The table in rows of 5 mm; a page that is full goes on with the header on the next one.
  static constexpr double kWidths[] = {18, 14, 22, 22, 20, 22, 42, 22, 42, 22, 21, 20};
  static constexpr double kRow = 5.0;
  const QFont small = ReportFont(8);
  const double pageHeight = device.pageLayout().paintRect(QPageLayout::Millimeter).height();
  const auto drawRow = [&](const std::vector<std::string>& cells, double y, bool header) {
    double x = 0.0;
    for (std::size_t c = 0; c < std::size(kWidths); ++c) {
      const QString text = c < cells.size() ? Text(cells[c]) : QString();
      if (header) {
        page.Caption(page.Mm(x, y, kWidths[c], kRow), text, small);
      } else {
        page.Box(page.Mm(x, y, kWidths[c], kRow), text, small, c < 2 ? kLeftMiddle : Qt::AlignRight | Qt::AlignVCenter,
                 true);
      }
      x += kWidths[c];
    }
  };
  double y = pictureBottom + 4.0;
  drawRow(data.statistics.front(), y, true);
  y += kRow;
  for (std::size_t r = 1; r < data.statistics.size(); ++r) {
    if (y + kRow > pageHeight) {
      device.newPage();
      y = 0.0;
      drawRow(data.statistics.front(), y, true);
      y += kRow;
    }
    drawRow(data.statistics[r], y, false);
    y += kRow;
  }
}

QImage InvertedChartPicture(const QImage& shown) {
  if (shown.isNull()) return {};
  QImage picture = shown.convertToFormat(QImage::Format_RGB888);
  if (picture.isNull()) return {};
  picture.invertPixels();
  return picture;
}

QByteArray ReportPdf(const QPageLayout& layout, const std::function<void(QPagedPaintDevice&)>& paint) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return {};
  {
    QPdfWriter writer(&buffer);
    writer.setResolution(1200);
    writer.setPageLayout(layout);
    paint(writer);  // the painter's end completes the document
  }
  return bytes;
}

void SaveReportPdf(QWidget* over, const QPageLayout& layout,
                   const std::function<void(QPagedPaintDevice&)>& paint) {
  const QString path = CurrentPrompts().SaveFileName(
      over, QStringLiteral("保存为PDF"), QStringLiteral("PDF文件(*.pdf)|*.pdf"), QStringLiteral("pdf"),
      QString());
  if (path.isEmpty() || !MayWriteTarget(over, path)) return;
  const QByteArray bytes = ReportPdf(layout, paint);
  if (bytes.isEmpty() ||
      !WriteFileAtomically(QFile::encodeName(path).toStdString(),
                           std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
    ShowSaveFailed(over);
  }
}

namespace {

void Preview(QWidget* parent, QPrinter& printer, const std::function<void(QPagedPaintDevice&)>& paint) {
  CurrentPrompts().ShowReport(parent, printer, paint,
                              [&paint](QWidget* over, const QPageLayout& layout) {
                                SaveReportPdf(over, layout, paint);
                              });
}

}  // namespace

void PreviewListReport(QWidget* parent, const ListReportData& data) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpListPrinter(printer, data);
  Preview(parent, printer, [&data](QPagedPaintDevice& target) { PaintListReport(target, data); });
}

void PreviewChartReport(QWidget* parent, const ChartReportData& data) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpChartPrinter(printer);
  Preview(parent, printer, [&data](QPagedPaintDevice& target) { PaintChartReport(target, data); });
}

}  // namespace vantiro
