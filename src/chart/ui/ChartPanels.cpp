#include "chart/ui/ChartPanels.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "chart/Cursors.h"
#include "platform/ui/FittedColumns.h"
#include "platform/ui/Prompts.h"

namespace vantiro {
namespace {

QTableWidget* MakeTable(QWidget* parent, const QStringList& headers, const char* name) {
  auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
  table->setObjectName(QLatin1String(name));
  table->setHorizontalHeaderLabels(headers);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->verticalHeader()->setVisible(false);
  table->verticalHeader()->setDefaultSectionSize(QFontMetrics(table->font()).height() + 4);
  table->setWordWrap(false);
  // Every caption and text whole; cut, when the panel is too narrow, and whole in its tooltip.
  new FittedColumns(table);
  return table;
}

// The columns measured again for the rows just filled in.
void RefitColumns(QTableWidget* table) {
  if (auto* columns = table->findChild<FittedColumns*>(QString(), Qt::FindDirectChildrenOnly)) columns->Refit();
}

void SetCell(QTableWidget* table, int row, int column, const QString& text) {
  QTableWidgetItem* item = table->item(row, column);
  if (!item) {
    item = new QTableWidgetItem(text);
    if (column > 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(row, column, item);
  } else if (item->text() != text) {
    item->setText(text);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

SpanPanel::SpanPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("SpanPanel"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  auto* top = new QHBoxLayout;
  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("SpanCaption"));
  copy_ = new QPushButton(QStringLiteral("复制"), this);
  copy_->setObjectName(QStringLiteral("SpanCopyButton"));
  export_ = new QPushButton(QStringLiteral("导出CSV…"), this);
  export_->setObjectName(QStringLiteral("SpanExportButton"));
  top->addWidget(caption_, 1);
  top->addWidget(copy_);
  top->addWidget(export_);
  layout->addLayout(top);
  QStringList headers;
  const std::vector<std::vector<std::string>> cells = SpanStatisticsCells({});
  for (const std::string& header : cells.front()) headers << QString::fromStdString(header);
  table_ = MakeTable(this, headers,
                     "SpanTable");
  layout->addWidget(table_, 1);
  connect(copy_, &QPushButton::clicked, this, [this] { CopyToClipboard(); });
  connect(export_, &QPushButton::clicked, this, &SpanPanel::exportRequested);
  ShowStatistics({}, 0.0, 0.0);
}

namespace {

QString SpanCaption(DateTime from, DateTime to, const QString& note) {
  if (from == 0.0 && to == 0.0) return QStringLiteral("区间统计") + note;
  return QStringLiteral("区间统计  %1 — %2  (Δt %3)%4")
      .arg(QString::fromStdString(SpanTimeText(std::min(from, to))),
           QString::fromStdString(SpanTimeText(std::max(from, to))),
           QString::fromStdString(DurationText(std::abs(to - from) * 86400.0)), note);
}

}  // namespace

void SpanPanel::ShowCalculating(DateTime from, DateTime to) {
  calculating_ = true;
  caption_->setText(SpanCaption(from, to, QStringLiteral("  计算中…")));
  table_->setEnabled(false);
  copy_->setEnabled(false);
  export_->setEnabled(false);
}

void SpanPanel::ShowStatistics(std::vector<SpanStatistics> rows, DateTime from, DateTime to, const QString& note) {
  calculating_ = false;
  table_->setEnabled(true);
  copy_->setEnabled(true);
  export_->setEnabled(true);
  rows_ = std::move(rows);
  caption_->setText(SpanCaption(from, to, note));
  // The cells as the copy and the command line write them.
  const std::vector<std::vector<std::string>> cells = SpanStatisticsCells(rows_);
  const int count = static_cast<int>(cells.size()) - 1;
  table_->setUpdatesEnabled(false);
  table_->setRowCount(count);
  for (int r = 0; r < count; ++r) {
    const std::vector<std::string>& fields = cells[static_cast<std::size_t>(r) + 1];
    for (std::size_t c = 0; c < fields.size() && static_cast<int>(c) < table_->columnCount(); ++c) {
      SetCell(table_, r, static_cast<int>(c), QString::fromStdString(fields[c]));
    }
  }
  // Measured on every fill: a cursor step changes the texts, not only the rows.
  RefitColumns(table_);
  table_->setUpdatesEnabled(true);
}

QString SpanPanel::Caption() const { return caption_->text(); }

QString SpanPanel::Text() const { return QString::fromStdString(SpanStatisticsTable(rows_)); }

void SpanPanel::CopyToClipboard() const {
  if (QClipboard* clipboard = QApplication::clipboard()) clipboard->setText(Text());
}

// ---------------------------------------------------------------------------------------------

AlarmList::AlarmList(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("AlarmList"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  caption_ = new QLabel(QStringLiteral("报警事件"), this);
  caption_->setObjectName(QStringLiteral("AlarmCaption"));
  layout->addWidget(caption_);
  table_ = MakeTable(this,
                     {QStringLiteral("通道"), QStringLiteral("限值"), QStringLiteral("开始"), QStringLiteral("结束"),
                      QStringLiteral("持续时间"), QStringLiteral("极值")},
                     "AlarmTable");
  layout->addWidget(table_, 1);
  connect(table_, &QTableWidget::cellClicked, this, [this](int row, int) {
    if (row >= 0 && static_cast<std::size_t>(row) < events_.size()) emit eventActivated(events_[static_cast<std::size_t>(row)]);
  });
}

void AlarmList::ShowCalculating() {
  calculating_ = true;
  caption_->setText(QStringLiteral("报警事件  计算中…"));
  table_->setEnabled(false);
}

void AlarmList::ShowEvents(std::vector<AlarmEvent> events, const std::vector<int>& decimals, std::size_t total,
                           const QString& note) {
  calculating_ = false;
  table_->setEnabled(true);
  const std::size_t shown = std::min(events.size(), kMostRows);
  total = std::max(total, events.size());
  const QString caption = (total > shown ? QStringLiteral("报警事件  共%1条，列出前%2条").arg(total).arg(shown)
                                         : QStringLiteral("报警事件  共%1条").arg(total)) +
                          note;
  const bool same = caption == caption_->text() && events.size() == events_.size() &&
                    std::equal(events.begin(), events.end(), events_.begin(), [](const AlarmEvent& a, const AlarmEvent& b) {
                      return a.number == b.number && a.upper == b.upper && a.start == b.start && a.end == b.end &&
                             a.extreme == b.extreme && a.limit == b.limit;
                    });
  if (same) return;  // a live reading that changed nothing: the list keeps its scroll and selection
  events_ = std::move(events);
  caption_->setText(caption);
  table_->setUpdatesEnabled(false);
  table_->setRowCount(static_cast<int>(shown));
  for (std::size_t i = 0; i < shown; ++i) {
    const AlarmEvent& e = events_[i];
    const int d = i < decimals.size() ? decimals[i] : 3;
    const int r = static_cast<int>(i);
    SetCell(table_, r, 0, QString::asprintf("通道%02d", e.number));
    SetCell(table_, r, 1, QString::fromStdString(AlarmLimitText(e, d)));
    SetCell(table_, r, 2, QString::fromStdString(SpanTimeText(e.start)));
    SetCell(table_, r, 3, QString::fromStdString(SpanTimeText(e.end)));
    SetCell(table_, r, 4, QString::fromStdString(DurationText(e.seconds)));
    SetCell(table_, r, 5, QString::number(e.extreme, 'f', std::clamp(d, 0, 6)));
  }
  RefitColumns(table_);
  table_->setUpdatesEnabled(true);
}

QString AlarmList::Caption() const { return caption_->text(); }

// ---------------------------------------------------------------------------------------------

ChannelLimitsDialog::ChannelLimitsDialog(QWidget* parent, const QString& title, const AlarmLimits& limits,
                                         DefaultDeadbandFunction defaultDeadband)
    : QDialog(parent), defaultDeadband_(std::move(defaultDeadband)), limits_(limits) {
  setObjectName(QStringLiteral("ChannelLimitsDialog"));
  setWindowTitle(QStringLiteral("报警限值 - %1").arg(title));
  auto* grid = new QGridLayout(this);
  upperBox_ = new QCheckBox(QStringLiteral("上限："), this);
  upperBox_->setObjectName(QStringLiteral("UpperBox"));
  lowerBox_ = new QCheckBox(QStringLiteral("下限："), this);
  lowerBox_->setObjectName(QStringLiteral("LowerBox"));
  upperEdit_ = new QLineEdit(this);
  upperEdit_->setObjectName(QStringLiteral("UpperEdit"));
  lowerEdit_ = new QLineEdit(this);
  lowerEdit_->setObjectName(QStringLiteral("LowerEdit"));
  deadbandEdit_ = new QLineEdit(this);
  deadbandEdit_->setObjectName(QStringLiteral("DeadbandEdit"));
  deadbandEdit_->setToolTip(QStringLiteral("留空取默认值：通道量程的1%；无量程时取上下限间距（或数值范围）的1%"));
  minDurationEdit_ = new QLineEdit(this);
  minDurationEdit_->setObjectName(QStringLiteral("MinDurationEdit"));
  minDurationEdit_->setPlaceholderText(QStringLiteral("0"));
  upperBox_->setChecked(limits.upper.has_value());
  lowerBox_->setChecked(limits.lower.has_value());
  if (limits.upper) upperEdit_->setText(QString::number(*limits.upper, 'g', 15));
  if (limits.lower) lowerEdit_->setText(QString::number(*limits.lower, 'g', 15));
  if (limits.deadband) deadbandEdit_->setText(QString::number(*limits.deadband, 'g', 15));
  if (limits.minSeconds != 0.0) minDurationEdit_->setText(QString::number(limits.minSeconds, 'g', 15));
  upperEdit_->setEnabled(upperBox_->isChecked());
  lowerEdit_->setEnabled(lowerBox_->isChecked());
  connect(upperBox_, &QCheckBox::toggled, upperEdit_, &QLineEdit::setEnabled);
  connect(lowerBox_, &QCheckBox::toggled, lowerEdit_, &QLineEdit::setEnabled);
  for (QCheckBox* box : {upperBox_, lowerBox_}) connect(box, &QCheckBox::toggled, this, [this] { ShowDefaultDeadband(); });
  for (QLineEdit* edit : {upperEdit_, lowerEdit_}) {
    connect(edit, &QLineEdit::textChanged, this, [this] { ShowDefaultDeadband(); });
  }
  ShowDefaultDeadband();
  grid->addWidget(upperBox_, 0, 0);
  grid->addWidget(upperEdit_, 0, 1);
  grid->addWidget(lowerBox_, 1, 0);
  grid->addWidget(lowerEdit_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("回差："), this), 2, 0);
  grid->addWidget(deadbandEdit_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("最短持续(秒)："), this), 3, 0);
  grid->addWidget(minDurationEdit_, 3, 1);
  auto* note = new QLabel(QStringLiteral("超出限值的时段在趋势图上以通道颜色标出，并列入报警事件。"
                                         "越上限后回落到“上限−回差”及以下（越下限后回升到“下限+回差”及以上）才算结束；"
                                         "回差留空取默认值（通道量程的1%）。短于最短持续时间的时段不列出。"),
                          this);
  note->setWordWrap(true);
  grid->addWidget(note, 4, 0, 1, 2);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
  connect(buttons, &QDialogButtonBox::accepted, this, &ChannelLimitsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ChannelLimitsDialog::reject);
  grid->addWidget(buttons, 5, 0, 1, 2);
}

void ChannelLimitsDialog::ShowDefaultDeadband() {
  if (!defaultDeadband_) {
    deadbandEdit_->setPlaceholderText(QStringLiteral("默认"));
    return;
  }
  // The limits as far as they read; one that does not read yet counts as not set.
  ChannelLimits typed;
  const auto read = [](QCheckBox* box, QLineEdit* edit, std::optional<double>& out) {
    bool ok = false;
    const double v = edit->text().trimmed().toDouble(&ok);
    if (box->isChecked() && ok && std::isfinite(v)) out = v;
  };
  read(upperBox_, upperEdit_, typed.upper);
  read(lowerBox_, lowerEdit_, typed.lower);
  // Not known yet (a channel of a long period whose values have not been read): no figure.
  const double deadband = defaultDeadband_(typed);
  deadbandEdit_->setPlaceholderText(std::isfinite(deadband)
                                        ? QStringLiteral("默认 %1").arg(QString::number(deadband, 'g', 6))
                                        : QStringLiteral("默认"));
}

void ChannelLimitsDialog::accept() {
  AlarmLimits typed;
  const auto read = [this](QCheckBox* box, QLineEdit* edit, std::optional<double>& out) {
    if (!box->isChecked()) return true;
    bool ok = false;
    const double v = edit->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
      CurrentPrompts().Message(this, QStringLiteral("请输入有效的%1。").arg(box == upperBox_ ? QStringLiteral("上限")
                                                                                             : QStringLiteral("下限")),
                               MessageIcon::Warning);
      edit->setFocus();
      return false;
    }
    out = v;
    return true;
  };
  if (!read(upperBox_, upperEdit_, typed.upper) || !read(lowerBox_, lowerEdit_, typed.lower)) return;
  if (typed.upper && typed.lower && !(*typed.upper > *typed.lower)) {
    CurrentPrompts().Message(this, QStringLiteral("上限必须大于下限。"), MessageIcon::Warning);
    upperEdit_->setFocus();
    return;
  }
  // The deadband and the shortest duration: empty, or a number not below 0.
  const auto readRule = [this](QLineEdit* edit, const QString& name, std::optional<double>& out) {
    const QString text = edit->text().trimmed();
    if (text.isEmpty()) return true;
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < 0.0) {
      CurrentPrompts().Message(this, QStringLiteral("请输入有效的%1。").arg(name), MessageIcon::Warning);
      edit->setFocus();
      return false;
    }
    out = v == 0.0 ? 0.0 : v;  // "-0" as 0
    return true;
  };
  std::optional<double> minSeconds;
  if (!readRule(deadbandEdit_, QStringLiteral("回差"), typed.deadband) ||
      !readRule(minDurationEdit_, QStringLiteral("最短持续时间"), minSeconds)) {
    return;
  }
  typed.minSeconds = minSeconds.value_or(0.0);
  limits_ = typed;
  QDialog::accept();
}

}  // namespace vantiro
