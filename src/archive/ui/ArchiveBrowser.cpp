#include "archive/ui/ArchiveBrowser.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>
#include <memory>

#include "archive/ui/ArchiveTasks.h"
#include "archive/ui/CoverageStrip.h"
#include "platform/Registry.h"
#include "platform/ui/Prompts.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

QDateTime QtTime(std::int64_t ms) {
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}
std::int64_t FromQt(const QDateTime& t) { return t.toMSecsSinceEpoch(); }

std::int64_t NowMs() { return ToArchiveMs(LocalNow()); }

QString Count(std::int64_t n) { return QLocale::c().toString(static_cast<qlonglong>(n)); }

}  // namespace

QString PeriodSamplesText(std::int64_t samples, std::int64_t limit) {
  if (samples <= 0) return QStringLiteral("该时段没有数据。");
  return QStringLiteral("该时段有 %1 个数据，").arg(Count(samples)) +
         (OpensInOverview(samples, limit) ? QStringLiteral("将以概览显示（超过 %1 个数据）。").arg(Count(limit))
                                          : QStringLiteral("将打开精确数据。"));
}

std::string RememberedArchiveLocation() {
  return ReadRegistryString(kSettingsKey, "Archive").value_or(std::string());
}

void RememberArchiveLocation(const std::string& location) {
  WriteRegistryString(kSettingsKey, "Archive", location);
}

ArchiveBrowser::ArchiveBrowser(QWidget* parent)
    : QDialog(parent), tasks_(new ArchiveTasks(this)), countTasks_(new ArchiveTasks(this)) {
  setObjectName(QStringLiteral("ArchiveBrowser"));
  setWindowTitle(QStringLiteral("打开档案"));
  resize(900, 560);

  LocationEdit = new QLineEdit(this);
  LocationEdit->setObjectName(QStringLiteral("LocationEdit"));
  LocationEdit->setPlaceholderText(QStringLiteral("SQLite 档案文件，或 postgresql://用户@服务器/数据库"));
  BrowseButton = new QPushButton(QStringLiteral("浏览..."), this);
  ConnectButton = new QPushButton(QStringLiteral("连接"), this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("档案："), this));
  top->addWidget(LocationEdit, 1);
  top->addWidget(BrowseButton);
  top->addWidget(ConnectButton);

  RecorderList = new QListWidget(this);
  RecorderList->setObjectName(QStringLiteral("RecorderList"));
  Strip = new CoverageStrip(this);

  auto* quick = new QHBoxLayout;
  const std::pair<const char*, QuickPeriod> periods[] = {
      {"今天", QuickPeriod::Today},         {"昨天", QuickPeriod::Yesterday}, {"本周", QuickPeriod::ThisWeek},
      {"本月", QuickPeriod::ThisMonth},     {"上月", QuickPeriod::LastMonth}, {"全部", QuickPeriod::All}};
  for (const auto& [text, which] : periods) {
    auto* button = new QPushButton(QString::fromUtf8(text), this);
    button->setObjectName(QStringLiteral("Quick") + QString::number(static_cast<int>(which)));
    connect(button, &QPushButton::clicked, this, [this, which = which] { PickQuickPeriod(which); });
    quick->addWidget(button);
  }
  quick->addStretch(1);

  FromEdit = new QDateTimeEdit(this);
  ToEdit = new QDateTimeEdit(this);
  for (QDateTimeEdit* edit : {FromEdit, ToEdit}) {
    edit->setTimeSpec(Qt::UTC);  // the recorder's wall clock, kept as it reads
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit->setCalendarPopup(true);
    connect(edit, &QDateTimeEdit::dateTimeChanged, this, &ArchiveBrowser::PeriodEdited);
  }
  FromEdit->setObjectName(QStringLiteral("FromEdit"));
  ToEdit->setObjectName(QStringLiteral("ToEdit"));
  auto* pickers = new QHBoxLayout;
  pickers->addWidget(new QLabel(QStringLiteral("从"), this));
  pickers->addWidget(FromEdit);
  pickers->addWidget(new QLabel(QStringLiteral("到"), this));
  pickers->addWidget(ToEdit);
  pickers->addStretch(1);

  ChannelList = new QListWidget(this);
  ChannelList->setObjectName(QStringLiteral("ChannelList"));
  AllChannels = new QCheckBox(QStringLiteral("全选"), this);
  AllChannels->setChecked(true);
  // 全选 ticks or unticks every channel; the channels ticked one by one set it as they stand.
  connect(AllChannels, &QCheckBox::toggled, this, &ArchiveBrowser::TickAllChannels);
  connect(ChannelList, &QListWidget::itemChanged, this, &ArchiveBrowser::ChannelTicked);

  auto* right = new QWidget(this);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addWidget(new QLabel(QStringLiteral("数据覆盖（滚轮缩放，拖动平移）："), right));
  rightLayout->addWidget(Strip);
  rightLayout->addLayout(quick);
  rightLayout->addLayout(pickers);
  auto* channelHeader = new QHBoxLayout;
  channelHeader->addWidget(new QLabel(QStringLiteral("通道："), right));
  channelHeader->addStretch(1);
  channelHeader->addWidget(AllChannels);
  rightLayout->addLayout(channelHeader);
  rightLayout->addWidget(ChannelList, 1);

  auto* split = new QSplitter(this);
  auto* left = new QWidget(split);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(new QLabel(QStringLiteral("记录仪："), left));
  leftLayout->addWidget(RecorderList);
  split->addWidget(left);
  split->addWidget(right);
  split->setStretchFactor(1, 3);

  Status = new QLabel(this);
  Status->setObjectName(QStringLiteral("Status"));
  Status->setWordWrap(true);
  OpenButton = new QPushButton(QStringLiteral("打开"), this);
  OpenButton->setObjectName(QStringLiteral("OpenButton"));
  OpenButton->setDefault(true);
  OpenButton->setEnabled(false);
  CancelButton = new QPushButton(QStringLiteral("取消"), this);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Status, 1);
  bottom->addWidget(OpenButton);
  bottom->addWidget(CancelButton);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(split, 1);
  layout->addLayout(bottom);

  connect(BrowseButton, &QPushButton::clicked, this, &ArchiveBrowser::BrowseClick);
  connect(ConnectButton, &QPushButton::clicked, this, &ArchiveBrowser::ConnectClick);
  connect(LocationEdit, &QLineEdit::returnPressed, this, &ArchiveBrowser::ConnectClick);
  connect(RecorderList, &QListWidget::currentRowChanged, this, &ArchiveBrowser::RecorderChanged);
  connect(Strip, &CoverageStrip::periodPicked, this, [this](qint64 from, qint64 to) { SetPeriod(from, to); });
  connect(OpenButton, &QPushButton::clicked, this, &ArchiveBrowser::OpenClick);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  for (ArchiveTasks* tasks : {tasks_, countTasks_}) {
    connect(tasks, &ArchiveTasks::busyChanged, this, [this](bool busy) {
      if (busy) {
        Status->setText(QStringLiteral("正在读取档案..."));
        setCursor(Qt::BusyCursor);
      } else if (!Busy()) {
        unsetCursor();
      }
    });
  }
}

ArchiveBrowser::~ArchiveBrowser() = default;

bool ArchiveBrowser::Busy() const { return tasks_->Busy() || countTasks_->Busy(); }

void ArchiveBrowser::ShowArchive(const std::string& location) {
  const std::string shown = location.empty() ? DefaultArchiveLocation() : location;
  LocationEdit->setText(QString::fromStdString(shown));
  choice_ = ArchivePeriodChoice{};
  choice_.location = location;
  countTasks_->Cancel();
  tasks_->SetLocation(location);
  countTasks_->SetLocation(location);
  auto recorders = std::make_shared<std::vector<RecorderInfo>>();
  auto described = std::make_shared<std::string>();
  tasks_->Run(
      [recorders, described](Archive& archive) {
        std::string error;
        *described = archive.Describe();
        auto list = archive.Recorders(error);
        if (!list) return error;
        *recorders = std::move(*list);
        return std::string();
      },
      [this, recorders, described](const QString& error) {
        if (!error.isEmpty()) {
          ShowError(error);
          return;
        }
        RememberArchiveLocation(choice_.location);
        recorders_ = *recorders;
        RecorderList->blockSignals(true);
        RecorderList->clear();
        for (const RecorderInfo& r : recorders_) RecorderList->addItem(QString::fromStdString(r.name));
        RecorderList->blockSignals(false);
        Status->setText(recorders_.empty() ? QStringLiteral("档案中还没有记录仪：请先导入数据文件。")
                                           : QStringLiteral("档案：%1").arg(QString::fromStdString(*described)));
        if (!recorders_.empty()) {
          RecorderList->setCurrentRow(0);
        } else {
          emit loaded();
        }
      });
}

void ArchiveBrowser::ShowError(const QString& error) {
  Status->setText(QStringLiteral("读取档案失败：") + error);
  OpenButton->setEnabled(false);
  emit loaded();
}

bool ArchiveBrowser::SelectRecorder(const QString& name) {
  const auto items = RecorderList->findItems(name, Qt::MatchExactly);
  if (items.isEmpty()) return false;
  RecorderList->setCurrentItem(items.front());
  return true;
}

void ArchiveBrowser::BrowseClick() {
  const QString path = CurrentPrompts().OpenFileName(this, QStringLiteral("选择档案"),
                                                     QStringLiteral("档案(*.sqlite)|*.sqlite|所有文件(*)|*"));
  if (path.isEmpty()) return;
  ShowArchive(path.toStdString());
}

void ArchiveBrowser::ConnectClick() {
  const QString text = LocationEdit->text().trimmed();
  ShowArchive(text == QString::fromStdString(DefaultArchiveLocation()) ? std::string() : text.toStdString());
}

void ArchiveBrowser::RecorderChanged() {
  const int row = RecorderList->currentRow();
  if (row < 0 || row >= static_cast<int>(recorders_.size())) return;
  const RecorderInfo recorder = recorders_[static_cast<std::size_t>(row)];
  choice_.recorderId = recorder.id;
  choice_.recorder = recorder.name;
  // A count of the recorder shown before is of no use now; nothing opens until this one is read.
  countTasks_->Cancel();
  choice_.channels.clear();
  choice_.samples = 0;
  OpenButton->setEnabled(false);
  auto coverage = std::make_shared<std::vector<ArchiveSpan>>();
  auto channels = std::make_shared<std::vector<ChannelSummaryInfo>>();
  tasks_->Run(
      [id = recorder.id, coverage, channels](Archive& archive) {
        std::string error;
        auto spans = archive.Coverage(id, error);
        if (!spans) return error;
        auto list = archive.Channels(id, error);
        if (!list) return error;
        *coverage = std::move(*spans);
        *channels = std::move(*list);
        return std::string();
      },
      [this, coverage, channels](const QString& error) {
        if (!error.isEmpty()) {
          ShowError(error);
          return;
        }
        channels_ = *channels;
        Strip->SetCoverage(*coverage);
        ChannelList->blockSignals(true);
        ChannelList->clear();
        for (const ChannelSummaryInfo& c : channels_) {
          QString text = QStringLiteral("通道%1").arg(c.number, 2, 10, QLatin1Char('0'));
          if (!c.unit.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(c.unit));
          auto* item = new QListWidgetItem(text, ChannelList);
          item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
          item->setCheckState(AllChannels->isChecked() ? Qt::Checked : Qt::Unchecked);
          item->setData(Qt::UserRole, c.number);
        }
        ChannelList->blockSignals(false);
        // The last day that holds data, a period to start from.
        if (!coverage->empty()) {
          const std::int64_t last = coverage->back().lastMs;
          SetPeriod(std::max(coverage->back().firstMs, last - 86400000 + 1), last);
        } else {
          PickQuickPeriod(QuickPeriod::Today);
        }
        emit loaded();
      });
}

void ArchiveBrowser::PickQuickPeriod(QuickPeriod which) {
  const ArchiveSpan span = QuickPeriodSpan(which, NowMs(), Strip->Coverage());
  SetPeriod(span.firstMs, span.lastMs);
}

void ArchiveBrowser::SetPeriod(std::int64_t fromMs, std::int64_t toMs) {
  settingPeriod_ = true;
  FromEdit->setDateTime(QtTime(fromMs));
  ToEdit->setDateTime(QtTime(toMs));
  settingPeriod_ = false;
  choice_.fromMs = fromMs;
  choice_.toMs = toMs;
  Strip->SetPeriod({fromMs, toMs});
  CountPeriod();
}

void ArchiveBrowser::PeriodEdited() {
  if (settingPeriod_) return;
  choice_.fromMs = FromQt(FromEdit->dateTime());
  choice_.toMs = FromQt(ToEdit->dateTime()) + 999;  // the picker's last second, all of it
  Strip->SetPeriod({choice_.fromMs, choice_.toMs});
  CountPeriod();
}

std::vector<int> ArchiveBrowser::TickedChannels() const {
  std::vector<int> numbers;
  for (int i = 0; i < ChannelList->count(); ++i) {
    const QListWidgetItem* item = ChannelList->item(i);
    if (item->checkState() == Qt::Checked) numbers.push_back(item->data(Qt::UserRole).toInt());
  }
  return numbers;
}

void ArchiveBrowser::TickAllChannels(bool on) {
  ChannelList->blockSignals(true);
  for (int i = 0; i < ChannelList->count(); ++i) ChannelList->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  ChannelList->blockSignals(false);
  ChannelTicked();
}

void ArchiveBrowser::ChannelTicked() {
  const bool all = ChannelList->count() > 0 &&
                   static_cast<int>(TickedChannels().size()) == ChannelList->count();
  if (ChannelList->count() > 0) {
    QSignalBlocker quiet(AllChannels);
    AllChannels->setChecked(all);
  }
  CountPeriod();
}

void ArchiveBrowser::CountPeriod() {
  // Whatever was being counted was for a period or channels no longer chosen: its outcome is
  // dropped, and nothing opens until the choice on show has been counted.
  countTasks_->Cancel();
  OpenButton->setEnabled(false);
  const std::vector<int> channels = TickedChannels();
  choice_.channels = channels;
  choice_.samples = 0;
  if (choice_.recorderId == 0) return;
  if (choice_.toMs <= choice_.fromMs) {
    Status->setText(QStringLiteral("起始时间必须早于结束时间。"));
    return;
  }
  if (channels.empty()) {
    Status->setText(QStringLiteral("请至少选择一个通道。"));
    return;
  }
  auto count = std::make_shared<std::int64_t>(0);
  // Counted as the window counts the period it opens (ResolvePeriod), so that what is said here is
  // what happens there.
  countTasks_->Run(
      [id = choice_.recorderId, from = choice_.fromMs, to = choice_.toMs, channels, count](Archive& archive) {
        std::string error;
        const std::optional<ResolvedPeriod> period = ResolvePeriod(archive, id, std::string(), channels, from, to, error);
        if (!period) return error;
        *count = period->samples;
        return std::string();
      },
      [this, count](const QString& error) {
        if (!error.isEmpty()) {
          ShowError(error);
          return;
        }
        choice_.samples = *count;
        Status->setText(PeriodSamplesText(*count, exactLimit_));
        OpenButton->setEnabled(true);
        emit loaded();
      });
}

void ArchiveBrowser::OpenClick() {
  // Only a choice that has been counted opens (what is ticked and typed now).
  if (Busy() || !OpenButton->isEnabled() || choice_.recorderId == 0 || choice_.channels.empty()) return;
  accept();
}

}  // namespace vantiro
