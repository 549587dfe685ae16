#include "workbench/ui/TablePage.h"

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui/FittedColumns.h"
#include "platform/ui/Fonts.h"
#include "workbench/ui/DataListModel.h"

namespace vantiro {

TablePage::TablePage(const std::vector<ChannelInfo>& channels, const TableRows& rows,
                     const std::vector<std::int32_t>& columnChannels, QWidget* parent)
    : QWidget(parent),
      model_(new DataListModel(channels, rows, columnChannels, this)),
      view_(new QTableView(this)) {
  setObjectName(QStringLiteral("DataTabSheet"));
  view_->setObjectName(QStringLiteral("DataListView"));
  view_->setModel(model_);
  view_->setShowGrid(true);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setSortingEnabled(false);
  view_->setWordWrap(false);
  view_->setTextElideMode(Qt::ElideRight);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QWidget::customContextMenuRequested, this, &TablePage::contextMenuRequested);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // The table's widths (50, 120 and 70 pixels) were laid out for an 8-point face of these metrics:
  // with it a 16-channel recording fits the window across.
  const QFont tableFont = TableFont();
  view_->setFont(tableFont);
  view_->horizontalHeader()->setFont(tableFont);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  view_->horizontalHeader()->setSectionsClickable(false);
  view_->horizontalHeader()->setHighlightSections(false);
  view_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  view_->horizontalHeader()->setStretchLastSection(false);
  // A value wider than its column is cut; its tooltip shows it whole.
  new CutTextTips(view_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
}

int TablePage::ColumnPixelWidth(const TableColumn& column, std::size_t index) const {
  // Where the face is missing and a wider one stands in, a column widens just enough that its
  // caption and its usual texts are not cut off: the caption as the header draws it (its margins,
  // bold when highlighted), the texts with the cell's margins and grid line.
  const QFontMetrics metrics(view_->font());
  const char* widest = index == 0 ? "000000" : index == 1 ? "0000-00-00 00:00:00" : "-00000.000";
  const int needed = std::max(HeaderWidthFor(*view_->horizontalHeader(), QString::fromStdString(column.caption)),
                              metrics.horizontalAdvance(QLatin1String(widest)) + CellTextPadding(*view_));
  return std::max(column.width, needed);
}

void TablePage::ShowColumns(const std::vector<TableColumn>& columns) {
  ShowColumns(columns, [this, &columns](int section, int) {
    return ColumnPixelWidth(columns[static_cast<std::size_t>(section)], static_cast<std::size_t>(section));
  });
}

void TablePage::ShowColumns(const std::vector<TableColumn>& columns, const std::function<int(int, int)>& width) {
  model_->SetColumns(columns);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const int section = static_cast<int>(i);
    view_->setColumnWidth(section, width(section, columns[i].width));
  }
}

void TablePage::ShowPage(std::uint32_t pageStart, std::uint32_t itemCount) {
  model_->SetPage(pageStart, itemCount);
  view_->scrollToTop();
}

void TablePage::Clear() { model_->Clear(); }

}  // namespace vantiro
