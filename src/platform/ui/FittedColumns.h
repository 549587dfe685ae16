#pragma once
// Tables whose texts are read whole.
//   FittedColumns: each column of a table as wide as its caption and its widest text, with a
//     little room to spare; when the table is too narrow for them all, the wide columns are
//     narrowed alike (FitColumnWidths) and their cut texts elided. Measured again by Refit after
//     the rows change, laid out again when the table is resized.
//   CutTextTips: the tooltip of a cell or caption whose text is cut shows it whole.
// The widths a text needs are those the style draws it in: the item's margins and the grid line
// beside a cell's text, the header's margins beside a caption.

#include <QHash>
#include <QObject>
#include <QString>
#include <vector>

class QAbstractItemView;
class QHeaderView;
class QTableView;
class QWidget;

namespace vantiro {

// The pixels a cell of `view` takes beside its text, and those a section of `header` takes beside
// its caption.
int CellTextPadding(const QTableView& view);
int HeaderTextPadding(const QHeaderView& header);
// The width a section of `header` needs for `caption` whole (also when drawn in bold, as a
// highlighted section is).
int HeaderWidthFor(const QHeaderView& header, const QString& caption);
// Whether the text of `view`'s cell `row`, `column` (the model's display text) or of its caption
// is cut at the widths they have now.
bool CellTextCut(const QTableView& view, int row, int column);
bool CaptionCut(const QHeaderView& header, int section);

class CutTextTips : public QObject {
  Q_OBJECT

 public:
  // Watches `view`'s cells and its horizontal header; owned by `view`.
  explicit CutTextTips(QTableView* view);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTableView* view_;
  QObject* cells_;     // the view's viewport
  QObject* captions_;  // its header's
};

class FittedColumns : public QObject {
  Q_OBJECT

 public:
  // Lays out `view`'s columns from now on (and shows its cut texts in tooltips); owned by `view`.
  explicit FittedColumns(QTableView* view);

  // Measures the captions and the texts of every row again and lays the columns out.
  void Refit();
  // Each column's width for its texts whole, as last measured.
  const std::vector<int>& Needed() const { return needed_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The columns' widths from `needed_` for the width the table has now.
  void Layout();
  // The width `text` takes in the view's face: texts differing only in their digits take the same
  // (each digit counted as the widest one), so a list of times and values is measured a few times.
  int TextWidth(const QString& text);

  QTableView* view_;
  QWidget* viewport_;
  std::vector<int> needed_;
  QHash<QString, int> widths_;
  QString widthsFont_;
  QChar widestDigit_ = QLatin1Char('0');
};

}  // namespace vantiro
