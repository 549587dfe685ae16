#pragma once
// The system overview page: a scroll box holding the summary line and sixteen channel panels.
// Panel k shows the k-th monitored channel; its controls are addressed by child position:
//   0 value text, 1 channel name, 2..5 the high-high, high, low and low-low alarm lamps,
//   6..9 the captions of the limit fields, 10 high-high limit, 11 low limit, 12 high limit,
//   13 low-low limit.

#include <QColor>
#include <QFont>
#include <QWidget>
#include <array>
#include <vector>

class QFrame;
class QGroupBox;
class QLabel;
class QScrollArea;
class QTableWidget;

namespace vantiro {

class OverviewPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPanels = 16;
  static constexpr int kPanelChildren = 14;
  static constexpr int kValueText = 0;
  static constexpr int kChannelName = 1;
  static constexpr int kFirstLamp = 2;
  static constexpr int kLimitHH = 10;
  static constexpr int kLimitL = 11;
  static constexpr int kLimitH = 12;
  static constexpr int kLimitLL = 13;
  inline static const QColor kAlarmOn{255, 0, 0};   // pure red
  inline static const QColor kAlarmOff{0, 255, 0};  // lime green

  explicit OverviewPage(QWidget* parent = nullptr);

  QScrollArea* ScrollBox = nullptr;
  QWidget* ScrollContent = nullptr;  // the scroll box's 1600 x 1200 area
  QLabel* TotalInfo = nullptr;
  std::array<QFrame*, kPanels> Panels{};

  // Child `child` of panel `panel` (0-based).
  QWidget* PanelChild(int panel, int child) const { return children_[panel][child]; }
  // The summary label and every panel hidden (and none left greyed).
  void HideAll();
  // A panel whose reading is old (the link lost): greyed, its channel name followed by the age of
  // its reading; `stale` false brings it back.
  void SetPanelStale(int panel, bool stale, const QString& channelName = {}, int ageSeconds = 0);
  bool PanelStale(int panel) const;
  // Sets the text of a label or limit field of a panel. The value text (child 0) shows whole, the
  // value and all of its unit: its face is made smaller, down to kSmallestValuePoints, where the
  // label's own would cut it (the label is 89 pixels wide).
  void SetChildText(int panel, int child, const QString& text);
  static constexpr double kSmallestValuePoints = 5.0;
  QString ChildText(int panel, int child) const;
  // Lamp 0..3 (high-high, high, low, low-low) of a panel red when `on`, lime green otherwise.
  void SetLamp(int panel, int lamp, bool on);
  QColor LampColour(int panel, int lamp) const;

  // The further recorders, below the panels: one group each with its name, a line of state, and a
  // row per monitored channel (通道, 数值, HH, H, L, LL).
  void ShowStations(const std::vector<QString>& names, const std::vector<std::vector<int>>& channels);
  int StationCount() const { return static_cast<int>(stations_.size()); }
  // Row `row` of station `station`: its value text and its four lamps.
  void SetStationRow(int station, int row, const QString& value, const std::array<bool, 4>& lamps);
  // The state line of a station ("仪表时间(...)" or "通讯中断 ..."); `lost` greys its rows.
  void SetStationState(int station, const QString& text, bool lost);
  QString StationState(int station) const;
  QString StationValue(int station, int row) const;
  QGroupBox* StationGroup(int station) const;

 private:
  std::array<std::array<QWidget*, kPanelChildren>, kPanels> children_{};
  struct Station {
    QGroupBox* group = nullptr;
    QLabel* state = nullptr;
    QTableWidget* rows = nullptr;
  };
  std::vector<Station> stations_;
  QFont valueFont_;  // the value labels' own face, before any fitting
};

}  // namespace vantiro
