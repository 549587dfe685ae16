#include "platform/ui/FittedColumns.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "platform/ColumnWidths.h"

namespace vantiro {
namespace {

int Advance(const QFont& font, const QString& text) {
  return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
}

QFont CellFont(const QTableView& view, const QModelIndex& index) {
  const QVariant font = index.data(Qt::FontRole);
  return font.canConvert<QFont>() ? font.value<QFont>() : view.font();
}

}  // namespace

int CellTextPadding(const QTableView& view) {
  // The item's text stands a focus frame's margin and a pixel in from either side; the grid line
  // takes the column's last pixel.
  const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
  return 2 * margin + (view.showGrid() ? 1 : 0);
}

int HeaderTextPadding(const QHeaderView& header) {
  return 2 * header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
}

int HeaderWidthFor(const QHeaderView& header, const QString& caption) {
  QFont bold = header.font();
  bold.setBold(true);
  QStyleOptionHeader option;
  option.initFrom(&header);
  option.orientation = header.orientation();
  option.text = caption;
  option.fontMetrics = QFontMetrics(bold);
  const int styled = header.style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), &header).width();
  return std::max(styled, std::max(Advance(header.font(), caption), Advance(bold, caption)) + HeaderTextPadding(header));
}

bool CellTextCut(const QTableView& view, int row, int column) {
  if (!view.model()) return false;
  const QModelIndex index = view.model()->index(row, column);
  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return false;
  return QFontMetricsF(CellFont(view, index)).horizontalAdvance(text) > view.columnWidth(column) - CellTextPadding(view);
}

bool CaptionCut(const QHeaderView& header, int section) {
  if (!header.model() || section < 0 || section >= header.count()) return false;
  const QString text = header.model()->headerData(section, header.orientation(), Qt::DisplayRole).toString();
  if (text.isEmpty()) return false;
  return QFontMetricsF(header.font()).horizontalAdvance(text) > header.sectionSize(section) - HeaderTextPadding(header);
}

// ---------------------------------------------------------------------------------------------

CutTextTips::CutTextTips(QTableView* view)
    : QObject(view), view_(view), cells_(view->viewport()), captions_(view->horizontalHeader()->viewport()) {
  cells_->installEventFilter(this);
  captions_->installEventFilter(this);
}

bool CutTextTips::eventFilter(QObject* watched, QEvent* event) {
  // Only tooltip requests: other events may come while the view is being destroyed.
  if (event->type() != QEvent::ToolTip || !view_->model()) return false;
  auto* help = static_cast<QHelpEvent*>(event);
  QHeaderView* header = view_->horizontalHeader();
  if (watched == cells_) {
    const QModelIndex index = view_->indexAt(help->pos());
    // A tooltip of the model's own is left to the view.
    if (!index.isValid() || !index.data(Qt::ToolTipRole).toString().isEmpty()) return false;
    if (!CellTextCut(*view_, index.row(), index.column())) return false;
    QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), view_->viewport(),
                       view_->visualRect(index));
    return true;
  }
  if (watched == captions_) {
    const int section = header->logicalIndexAt(help->pos());
    if (section < 0 || !view_->model()->headerData(section, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty()) {
      return false;
    }
    if (!CaptionCut(*header, section)) return false;
    const QRect rect(header->sectionViewportPosition(section), 0, header->sectionSize(section), header->height());
    QToolTip::showText(help->globalPos(), view_->model()->headerData(section, Qt::Horizontal).toString(),
                       header->viewport(), rect);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------

FittedColumns::FittedColumns(QTableView* view) : QObject(view), view_(view), viewport_(view->viewport()) {
  QHeaderView* header = view_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setStretchLastSection(false);
  view_->setTextElideMode(Qt::ElideRight);
  viewport_->installEventFilter(this);
  view_->installEventFilter(this);
  new CutTextTips(view_);
  Refit();
}

int FittedColumns::TextWidth(const QString& text) {
  QString shape = text;
  for (QChar& c : shape) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) c = widestDigit_;
  }
  const auto found = widths_.constFind(shape);
  if (found != widths_.constEnd()) return *found;
  if (widths_.size() > 50000) widths_.clear();  // a long-lived list of ever new texts
  const int width = Advance(view_->font(), shape);
  widths_.insert(shape, width);
  return width;
}

void FittedColumns::Refit() {
  QAbstractItemModel* model = view_->model();
  if (!model) return;
  const QFont font = view_->font();
  if (font.key() != widthsFont_) {
    widths_.clear();
    widthsFont_ = font.key();
    const QFontMetricsF metrics(font);
    widestDigit_ = QLatin1Char('0');
    for (char d = '1'; d <= '9'; ++d) {
      if (metrics.horizontalAdvance(QLatin1Char(d)) > metrics.horizontalAdvance(widestDigit_)) widestDigit_ = QLatin1Char(d);
    }
  }
  const QHeaderView& header = *view_->horizontalHeader();
  const int columns = model->columnCount();
  const int rows = model->rowCount();
  const int padding = CellTextPadding(*view_);
  // Beyond the margins the style needs, two digits' room, so that the columns do not crowd.
  const int spacing = Advance(font, QStringLiteral("00"));
  needed_.assign(static_cast<std::size_t>(std::max(columns, 0)), 0);
  for (int c = 0; c < columns; ++c) {
    int& needed = needed_[static_cast<std::size_t>(c)];
    needed = HeaderWidthFor(header, model->headerData(c, Qt::Horizontal).toString());
    for (int r = 0; r < rows; ++r) {
      const QModelIndex index = model->index(r, c);
      const QString text = index.data(Qt::DisplayRole).toString();
      if (text.isEmpty()) continue;
      const QVariant own = index.data(Qt::FontRole);
      const int width = own.canConvert<QFont>() ? Advance(own.value<QFont>(), text) : TextWidth(text);
      needed = std::max(needed, width + padding);
    }
    needed += spacing;
  }
  Layout();
}

void FittedColumns::Layout() {
  const int padding = CellTextPadding(*view_);
  // Narrowed, a column keeps room for a character and the ellipsis.
  const int minimum = padding + Advance(view_->font(), QStringLiteral("0…"));
  QHeaderView* header = view_->horizontalHeader();
  if (header->minimumSectionSize() > minimum) header->setMinimumSectionSize(minimum);
  const std::vector<int> widths = FitColumnWidths(needed_, viewport_->width(), minimum);
  for (std::size_t c = 0; c < widths.size() && static_cast<int>(c) < header->count(); ++c) {
    if (view_->columnWidth(static_cast<int>(c)) != widths[c]) view_->setColumnWidth(static_cast<int>(c), widths[c]);
  }
}

bool FittedColumns::eventFilter(QObject* watched, QEvent* event) {
  // Compared with the pointers kept: events may come while the view is being destroyed.
  if (watched == viewport_ && event->type() == QEvent::Resize) {
    Layout();
  } else if (watched == view_ && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)) {
    Refit();
  }
  return false;
}

}  // namespace vantiro
