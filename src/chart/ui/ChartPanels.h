#pragma once
// The panels under the trend chart and the limits dialog of its legend:
//   SpanPanel: the span between the two vertical cursors measured per shown channel, to copy as
//     text or export as CSV;
//   AlarmList: the periods the channels spent beyond their limits; a click moves the cursors there;
//   ChannelLimitsDialog: a channel's upper and lower limit typed by the user, with the deadband and
//     the shortest duration of its alarm events.

#include <QDialog>
#include <QWidget>
#include <functional>
#include <vector>

#include "chart/AlarmEvents.h"
#include "chart/SpanStatistics.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vantiro {

class SpanPanel : public QWidget {
  Q_OBJECT

 public:
  explicit SpanPanel(QWidget* parent = nullptr);
  // The rows of the channels on show between `from` and `to`; `note` follows the span in the
  // caption (empty, or why the values are not the exact samples').
  void ShowStatistics(std::vector<SpanStatistics> rows, DateTime from, DateTime to, const QString& note = {});
  // The span's figures are being worked out (a long span of the archive): the caption says so and
  // the rows shown, those of the span before, are greyed until ShowStatistics.
  void ShowCalculating(DateTime from, DateTime to);
  bool Calculating() const { return calculating_; }
  const std::vector<SpanStatistics>& Rows() const { return rows_; }
  QString Caption() const;
  // The table as text: tab-separated, a header row, then a row per channel.
  QString Text() const;
  void CopyToClipboard() const;
  QTableWidget* Table() const { return table_; }
  QPushButton* CopyButton() const { return copy_; }
  QPushButton* ExportButton() const { return export_; }

 signals:
  void exportRequested();

 private:
  QLabel* caption_;
  QTableWidget* table_;
  QPushButton* copy_;
  QPushButton* export_;
  std::vector<SpanStatistics> rows_;
  bool calculating_ = false;
};

class AlarmList : public QWidget {
  Q_OBJECT

 public:
  // At most this many periods are listed (the bands show them all).
  inline static constexpr std::size_t kMostRows = 5000;

  explicit AlarmList(QWidget* parent = nullptr);
  // The events in time order, each with the decimals of its channel; `total` how many there are
  // when only the first of them were kept (0: as many as given); `note` follows the caption.
  void ShowEvents(std::vector<AlarmEvent> events, const std::vector<int>& decimals, std::size_t total = 0,
                  const QString& note = {});
  // The events are being found (a long period of the archive): the caption says so and the events
  // shown, those found before, are greyed until ShowEvents.
  void ShowCalculating();
  bool Calculating() const { return calculating_; }
  const std::vector<AlarmEvent>& Events() const { return events_; }
  QString Caption() const;
  QTableWidget* Table() const { return table_; }

 signals:
  void eventActivated(const vantiro::AlarmEvent& event);

 private:
  QLabel* caption_;
  QTableWidget* table_;
  std::vector<AlarmEvent> events_;
  bool calculating_ = false;
};

class ChannelLimitsDialog : public QDialog {
  Q_OBJECT

 public:
  // The channel's deadband when none is typed, for the limits as they stand in the dialog.
  using DefaultDeadbandFunction = std::function<double(const ChannelLimits&)>;

  // For the channel named `title` ("通道03"), starting from `limits`. An empty deadband field
  // keeps the channel's default, which `defaultDeadband` (when given) tells for the hint.
  ChannelLimitsDialog(QWidget* parent, const QString& title, const AlarmLimits& limits,
                      DefaultDeadbandFunction defaultDeadband = {});
  AlarmLimits Limits() const { return limits_; }
  // The OK button's check: each ticked field a number, the upper limit above the lower, the
  // deadband and the shortest duration empty or a number not below 0; a refusal names the field
  // and keeps the dialog open.
  void accept() override;

  QCheckBox* UpperBox() const { return upperBox_; }
  QCheckBox* LowerBox() const { return lowerBox_; }
  QLineEdit* UpperEdit() const { return upperEdit_; }
  QLineEdit* LowerEdit() const { return lowerEdit_; }
  QLineEdit* DeadbandEdit() const { return deadbandEdit_; }
  QLineEdit* MinDurationEdit() const { return minDurationEdit_; }

 private:
  // The deadband field's hint: the default for the limits typed so far.
  void ShowDefaultDeadband();

  QCheckBox* upperBox_;
  QCheckBox* lowerBox_;
  QLineEdit* upperEdit_;
  QLineEdit* lowerEdit_;
  QLineEdit* deadbandEdit_;
  QLineEdit* minDurationEdit_;
  DefaultDeadbandFunction defaultDeadband_;
  AlarmLimits limits_;
};

}  // namespace vantiro
