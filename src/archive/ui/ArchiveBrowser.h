#pragma once
// "打开档案": which archive (the SQLite file or the server, another one chosen here and
// remembered), its recorders, for the chosen one a coverage strip over time with quick periods and
// two date-time pickers, its channels with check boxes, and Open. Every read of the archive runs on
// a worker; the dialog says when it waits and when the archive cannot be read, and keeps what it
// shows. For the period and channels chosen it says how many samples they hold and whether they will
// open exact or in overview, by the window's own rule.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchivePeriods.h"

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantiro {

class ArchiveTasks;
class CoverageStrip;

// What the browser hands back when the user opens a period.
struct ArchivePeriodChoice {
  std::string location;  // the archive as the user named it
  std::int64_t recorderId = 0;
  std::string recorder;
  std::int64_t fromMs = 0;
  std::int64_t toMs = 0;
  std::vector<int> channels;  // the ticked channel numbers
  std::int64_t samples = 0;   // how many the period holds of them (ResolvePeriod's count)
};

// The archive location remembered in the user's settings (empty: the user's own archive).
std::string RememberedArchiveLocation();
void RememberArchiveLocation(const std::string& location);

// What the browser says of a period's samples: how many, and whether the window opens them exact
// or in overview (more than `limit`, OpensInOverview).
QString PeriodSamplesText(std::int64_t samples, std::int64_t limit);

class ArchiveBrowser : public QDialog {
  Q_OBJECT

 public:
  explicit ArchiveBrowser(QWidget* parent = nullptr);
  ~ArchiveBrowser() override;

  // Opens the archive at `location` (empty: the user's own) and lists its recorders.
  void ShowArchive(const std::string& location);
  const ArchivePeriodChoice& Choice() const { return choice_; }

  // Chooses a recorder by name, a quick period, a period (tests and the guide's pictures).
  bool SelectRecorder(const QString& name);
  void PickQuickPeriod(QuickPeriod which);
  void SetPeriod(std::int64_t fromMs, std::int64_t toMs);
  // True while a read of the archive runs.
  bool Busy() const;
  // The most samples a period opens exact with (ExactPeriodLimit(); tests set a small one).
  void SetExactLimit(std::int64_t samples) { exactLimit_ = samples; }

  QLineEdit* LocationEdit = nullptr;
  QPushButton* BrowseButton = nullptr;
  QPushButton* ConnectButton = nullptr;
  QListWidget* RecorderList = nullptr;
  CoverageStrip* Strip = nullptr;
  QDateTimeEdit* FromEdit = nullptr;
  QDateTimeEdit* ToEdit = nullptr;
  QListWidget* ChannelList = nullptr;
  QCheckBox* AllChannels = nullptr;
  QLabel* Status = nullptr;
  QPushButton* OpenButton = nullptr;
  QPushButton* CancelButton = nullptr;

 signals:
  // The recorders (after ShowArchive), or a recorder's coverage and channels, are on show.
  void loaded();

 private:
  void BrowseClick();
  void ConnectClick();
  void RecorderChanged();
  void PeriodEdited();
  void OpenClick();
  void ShowError(const QString& error);
  void CountPeriod();
  void ChannelTicked();
  void TickAllChannels(bool on);
  std::vector<int> TickedChannels() const;

  ArchiveTasks* tasks_;
  ArchiveTasks* countTasks_;  // the count of the period chosen: a newer choice drops an older count
  std::vector<RecorderInfo> recorders_;
  std::vector<ChannelSummaryInfo> channels_;
  ArchivePeriodChoice choice_;
  bool settingPeriod_ = false;
  std::int64_t exactLimit_ = ExactPeriodLimit();
};

}  // namespace vantiro
