#pragma once
// Checks that a table shows its texts whole, measured as the style draws them (the text's advance
// in the face, to the fraction of a pixel): a caption needs the header's margin either side, a
// cell's text the item's margin (a focus frame's and a pixel) either side and the grid line. And
// the tooltip a table shows over a cell or a caption.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QTableView>
#include <QToolTip>
#include <string>
#include <vector>

namespace vantiro::testing {

inline int CaptionPaddingOf(const QHeaderView& header) {
  return 2 * header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
}

inline int CellPaddingOf(const QTableView& view) {
  return 2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1) + (view.showGrid() ? 1 : 0);
}

inline QString CaptionOf(const QTableView& view, int column) {
  return view.model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

inline QString CellOf(const QTableView& view, int row, int column) {
  return view.model()->index(row, column).data(Qt::DisplayRole).toString();
}

// Whether the caption of `column` fits its section in the header's face, and with `alsoBold` in
// bold too (as a highlighted section is drawn).
inline bool CaptionWhole(const QTableView& view, int column, bool alsoBold = true) {
  const QHeaderView& header = *view.horizontalHeader();
  QFont bold = header.font();
  bold.setBold(true);
  const QString caption = CaptionOf(view, column);
  qreal needed = QFontMetricsF(header.font()).horizontalAdvance(caption);
  if (alsoBold) needed = std::max(needed, QFontMetricsF(bold).horizontalAdvance(caption));
  return needed + CaptionPaddingOf(header) <= header.sectionSize(column);
}

inline bool CellWhole(const QTableView& view, int row, int column) {
  return QFontMetricsF(view.font()).horizontalAdvance(CellOf(view, row, column)) + CellPaddingOf(view) <=
         view.columnWidth(column);
}

// The captions and the cells' texts that do not fit their columns, as "caption" or "caption: text".
inline std::vector<std::string> CutTexts(const QTableView& view) {
  std::vector<std::string> cut;
  const int columns = view.model()->columnCount();
  const int rows = view.model()->rowCount();
  for (int c = 0; c < columns; ++c) {
    if (!CaptionWhole(view, c)) cut.push_back(CaptionOf(view, c).toStdString());
    for (int r = 0; r < rows; ++r) {
      if (!CellWhole(view, r, c)) cut.push_back((CaptionOf(view, c) + ": " + CellOf(view, r, c)).toStdString());
    }
  }
  return cut;
}

// The tooltip shown after a tooltip request at `pos` of `target` (a viewport); empty when none is
// shown. A tip still up from before is closed first (hideText would leave it up a while).
inline QString TipAt(QWidget* target, QPoint pos) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->inherits("QTipLabel")) top->close();
  }
  EXPECT_FALSE(QToolTip::isVisible());
  QHelpEvent event(QEvent::ToolTip, pos, target->mapToGlobal(pos));
  QApplication::sendEvent(target, &event);
  return QToolTip::isVisible() ? QToolTip::text() : QString();
}

inline QString TipOverCell(QTableView& view, int row, int column) {
  return TipAt(view.viewport(), view.visualRect(view.model()->index(row, column)).center());
}

inline QString TipOverCaption(QTableView& view, int column) {
  QHeaderView& header = *view.horizontalHeader();
  return TipAt(header.viewport(),
               QPoint(header.sectionViewportPosition(column) + header.sectionSize(column) / 2, header.height() / 2));
}

// In a table narrowed so that some texts are cut: every cut text is in its tooltip and a whole one
// has none; the columns take no more than the table's width. Returns how many texts were cut.
inline int ExpectCutTextsInTips(QTableView& view) {
  int cut = 0;
  int total = 0;
  const int columns = view.model()->columnCount();
  const int rows = view.model()->rowCount();
  for (int c = 0; c < columns; ++c) total += view.columnWidth(c);
  EXPECT_LE(total, view.viewport()->width());
  for (int c = 0; c < columns; ++c) {
    SCOPED_TRACE(CaptionOf(view, c).toStdString());
    const bool captionWhole = CaptionWhole(view, c, false);
    EXPECT_EQ(TipOverCaption(view, c), captionWhole ? QString() : CaptionOf(view, c));
    cut += captionWhole ? 0 : 1;
    for (int r = 0; r < rows; ++r) {
      SCOPED_TRACE(r);
      const QRect cell = view.visualRect(view.model()->index(r, c));
      if (!view.viewport()->rect().contains(cell.center())) continue;  // scrolled out of sight
      const bool whole = CellWhole(view, r, c);
      EXPECT_EQ(TipOverCell(view, r, c), whole ? QString() : CellOf(view, r, c));
      cut += whole ? 0 : 1;
    }
  }
  return cut;
}

}  // namespace vantiro::testing
