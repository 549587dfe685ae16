#include "instrument/ui/OverviewPage.h"

#include <QFrame>
#include <QLabel>
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

void OverviewPage::HideAll() {
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
