#include "instrument/ui/OverviewPage.h"

#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

#include "platform/ui/Fonts.h"

namespace vantiro {

namespace {

constexpr int kPanelWidth = 161;
constexpr int kPanelHeight = 203;

// Left edges of the six columns; panel 4 and panel 12 sit one pixel further right.
QPoint PanelPosition(int index) {
  static constexpr int kLefts[6] = {110, 286, 462, 638, 814, 989};
  static constexpr int kTops[3] = {68, 284, 500};
  int left = kLefts[index % 6];
  if (index == 3) left = 639;
  if (index == 11) left = 990;
  return {left, kTops[index / 6]};
}

void Paint(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
}

}  // namespace

OverviewPage::OverviewPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("OverviewPage"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  ScrollBox = new QScrollArea(this);
  ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
  ScrollContent = new QWidget;
  ScrollContent->setFixedSize(1600, 1200);
  ScrollBox->setWidget(ScrollContent);
  layout->addWidget(ScrollBox);

  TotalInfo = new QLabel(QStringLiteral("系统总貌"), ScrollContent);
  TotalInfo->setObjectName(QStringLiteral("TotalInfo"));
  TotalInfo->setGeometry(112, 24, 1033, 25);
  TotalInfo->hide();

  for (int p = 0; p < kPanels; ++p) {
    auto* panel = new QFrame(ScrollContent);
    panel->setObjectName(QStringLiteral("Panel%1").arg(p + 1));
    panel->setFrameShape(QFrame::Box);
    panel->setAutoFillBackground(true);
    Paint(panel, Qt::white);
    panel->setGeometry(QRect(PanelPosition(p), QSize(kPanelWidth, kPanelHeight)));
    auto& c = children_[p];
    const int n = p * 6;  // the controls' names run on from panel to panel
    auto label = [panel](const QString& name, const QString& text, QRect geometry) {
      auto* l = new QLabel(text, panel);
      l->setObjectName(name);
      l->setGeometry(geometry);
      return l;
    };
    c[0] = label(QStringLiteral("Label%1").arg(n + 1), QStringLiteral("温度："), {8, 56, 89, 13});
    valueFont_ = c[0]->font();
    c[1] = label(QStringLiteral("Label%1").arg(n + 2), QStringLiteral("通道00"), {54, 12, 46, 16});
    for (int lamp = 0; lamp < 4; ++lamp) {
      QLabel* l = label(QStringLiteral("Label%1").arg(n + 3 + lamp), QString(),
                        {109, 35 + 14 * lamp, 40, 12});
      l->setAutoFillBackground(true);
      Paint(l, kAlarmOff);
      c[kFirstLamp + lamp] = l;
    }
    // The limit fields in child order (high-high, low, high, low-low) and their rows.
    static const char* const kCaptions[4] = {"上上限：", "下    限：", "上    限：", "下下限："};
    static constexpr int kTops[4] = {101, 149, 125, 173};
    for (int f = 0; f < 4; ++f) {
      c[6 + f] = label(QStringLiteral("LabeledEdit%1Label").arg(p * 4 + f + 1),
                       QString::fromUtf8(kCaptions[f]), {4, kTops[f], 56, 12});
    }
    for (int f = 0; f < 4; ++f) {
      auto* edit = new QLineEdit(panel);
      edit->setObjectName(QStringLiteral("LabeledEdit%1").arg(p * 4 + f + 1));
      edit->setReadOnly(true);
      edit->setFrame(false);
      edit->setGeometry(60, kTops[f], 87, 12);
      c[10 + f] = edit;
    }
    panel->hide();
    Panels[p] = panel;
  }
}

void OverviewPage::ShowStations(const std::vector<QString>& names, const std::vector<std::vector<int>>& channels) {
  for (Station& s : stations_) delete s.group;
  stations_.clear();
  // Below the third row of panels, four groups a row.
  constexpr int kTop = 730;
  constexpr int kLeft = 110;
  constexpr int kWidth = 340;
  constexpr int kRowHeight = 24;
  constexpr int kGap = 12;
  int bottom = 1200;
  for (std::size_t i = 0; i < names.size(); ++i) {
    Station s;
    s.group = new QGroupBox(names[i], ScrollContent);
    s.group->setObjectName(QStringLiteral("Station%1").arg(i + 2));
    auto* layout = new QVBoxLayout(s.group);
    s.state = new QLabel(s.group);
    s.state->setObjectName(QStringLiteral("StationState"));
    layout->addWidget(s.state);
    s.rows = new QTableWidget(static_cast<int>(channels[i].size()), 6, s.group);
    s.rows->setObjectName(QStringLiteral("StationRows"));
    s.rows->setHorizontalHeaderLabels({QStringLiteral("通道"), QStringLiteral("数值"), QStringLiteral("HH"),
                                       QStringLiteral("H"), QStringLiteral("L"), QStringLiteral("LL")});
    s.rows->verticalHeader()->hide();
    s.rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    s.rows->setSelectionMode(QAbstractItemView::NoSelection);
    s.rows->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    s.rows->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    s.rows->verticalHeader()->setDefaultSectionSize(kRowHeight);
    s.rows->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    s.rows->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    s.rows->setColumnWidth(0, 64);
    s.rows->setColumnWidth(1, 120);
    for (int c = 2; c < 6; ++c) s.rows->setColumnWidth(c, 30);
    for (std::size_t r = 0; r < channels[i].size(); ++r) {
      const int row = static_cast<int>(r);
      s.rows->setItem(row, 0, new QTableWidgetItem(QString::asprintf("通道%02d", channels[i][r])));
      s.rows->setItem(row, 1, new QTableWidgetItem(QString()));
      for (int c = 2; c < 6; ++c) {
        auto* lamp = new QTableWidgetItem(QString());
        lamp->setBackground(kAlarmOff);
        s.rows->setItem(row, c, lamp);
      }
    }
    // Every row and column whole: no scrolling inside a group.
    const int frame = 2 * s.rows->frameWidth();
    const int height = s.rows->horizontalHeader()->sizeHint().height() +
                       kRowHeight * std::max<int>(1, static_cast<int>(channels[i].size())) + frame;
    s.rows->setFixedSize(64 + 120 + 4 * 30 + frame, height);
    layout->addWidget(s.rows);
    const int column = static_cast<int>(i % 4);
    const int rowOfGroups = static_cast<int>(i / 4);
    const int groupHeight = height + 70;
    s.group->setGeometry(kLeft + column * (kWidth + kGap), kTop + rowOfGroups * (16 * kRowHeight + 110), kWidth,
                         groupHeight);
    bottom = std::max(bottom, s.group->geometry().bottom() + 20);
    s.group->show();
    stations_.push_back(s);
  }
  ScrollContent->setFixedSize(1600, bottom);
}

void OverviewPage::SetStationRow(int station, int row, const QString& value, const std::array<bool, 4>& lamps) {
  if (station < 0 || station >= StationCount()) return;
  QTableWidget* rows = stations_[static_cast<std::size_t>(station)].rows;
  if (row < 0 || row >= rows->rowCount()) return;
  rows->item(row, 1)->setText(value);
  for (int lamp = 0; lamp < 4; ++lamp) rows->item(row, 2 + lamp)->setBackground(lamps[static_cast<std::size_t>(lamp)] ? kAlarmOn : kAlarmOff);
}

void OverviewPage::SetStationState(int station, const QString& text, bool lost) {
  if (station < 0 || station >= StationCount()) return;
  Station& s = stations_[static_cast<std::size_t>(station)];
  s.state->setText(text);
  s.state->setStyleSheet(lost ? QStringLiteral("color: #b00000") : QString());
  s.rows->setEnabled(!lost);
}

QString OverviewPage::StationState(int station) const {
  return station >= 0 && station < StationCount() ? stations_[static_cast<std::size_t>(station)].state->text() : QString();
}

QString OverviewPage::StationValue(int station, int row) const {
  if (station < 0 || station >= StationCount()) return {};
  const QTableWidget* rows = stations_[static_cast<std::size_t>(station)].rows;
  return row >= 0 && row < rows->rowCount() ? rows->item(row, 1)->text() : QString();
}

QGroupBox* OverviewPage::StationGroup(int station) const {
  return station >= 0 && station < StationCount() ? stations_[static_cast<std::size_t>(station)].group : nullptr;
}

void OverviewPage::HideAll() {
  ShowStations({}, {});
  TotalInfo->hide();
  for (QFrame* panel : Panels) {
    panel->hide();
    panel->setEnabled(true);
  }
}

void OverviewPage::SetPanelStale(int panel, bool stale, const QString& channelName, int ageSeconds) {
  Panels[panel]->setEnabled(!stale);  // a disabled panel draws its labels and fields grey
  if (stale) SetChildText(panel, kChannelName, channelName + QStringLiteral(" %1秒前").arg(ageSeconds));
}

bool OverviewPage::PanelStale(int panel) const { return !Panels[panel]->isEnabled(); }

void OverviewPage::SetChildText(int panel, int child, const QString& text) {
  QWidget* w = children_[panel][child];
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(text);
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    if (child == kValueText) {
      // "1234.000 Nm3/h" in the label's own face would lose the end of its unit ("Nm3"), and a
      // cut unit reads as another one.
      const QFont font = ShrinkFontToFit(valueFont_, text, l->contentsRect().width(),
                                         kSmallestValuePoints, l);
      if (font != l->font()) l->setFont(font);
    }
    l->setText(text);
  }
}

QString OverviewPage::ChildText(int panel, int child) const {
  QWidget* w = children_[panel][child];
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  return {};
}

void OverviewPage::SetLamp(int panel, int lamp, bool on) {
  Paint(children_[panel][kFirstLamp + lamp], on ? kAlarmOn : kAlarmOff);
}

QColor OverviewPage::LampColour(int panel, int lamp) const {
  return children_[panel][kFirstLamp + lamp]->palette().color(QPalette::Window);
}

}  // namespace vantiro
