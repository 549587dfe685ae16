// The main window's menus and toolbar: their items in order, with names, texts, shortcuts and hints,
// each connected to its command.
#include "app/TMainForm.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyle>
#include <QToolBar>

namespace vantiro {
namespace {

// A small printer drawn in the style's colours (the standard icon set has none).
QIcon PrinterIcon(const QPalette& palette) {
  QPixmap pixmap(24, 24);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink = palette.color(QPalette::WindowText);
  p.setPen(QPen(ink, 1.2));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(6.5, 2.5, 11, 7));            // paper in
  p.setBrush(palette.color(QPalette::Mid));
  p.drawRoundedRect(QRectF(2.5, 8.5, 19, 9), 2, 2);  // body
  p.setBrush(Qt::white);
  p.drawRect(QRectF(6.5, 14.5, 11, 7));           // paper out
  p.drawLine(QPointF(8.5, 17.5), QPointF(15.5, 17.5));
  p.drawLine(QPointF(8.5, 19.5), QPointF(13.5, 19.5));
  p.setBrush(QColor(0x3a, 0xa0, 0x3a));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(18, 11.5), 1.2, 1.2);
  return QIcon(pixmap);
}

}  // namespace

void TMainForm::CreateMenus() {
  auto action = [this](QMenu* menu, const char* name, const QString& text,
                       void (TMainForm::*handler)(), const QKeySequence& shortcut = {}) {
    auto* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
  };
  FileOpenMenuItem = menuBar()->addMenu(QStringLiteral("文件(&F)"));
  FileOpenMenuItem->setObjectName(QStringLiteral("FileOpenMenuItem"));
  OpenFileMenuItem = action(FileOpenMenuItem, "OpenFileMenuItem", QStringLiteral("打开(&O)"),
                            &TMainForm::OpenFileButtonClick, QKeySequence(Qt::CTRL | Qt::Key_O));
  ImportDataMenuItem = action(FileOpenMenuItem, "ImportDataMenuItem", QStringLiteral("导入数据(&I)"),
                              &TMainForm::ImportData, QKeySequence(Qt::CTRL | Qt::Key_I));
  ImportDataMenuItem->setVisible(false);
  FileOpenMenuItem->addSeparator();
  ImportToArchiveMenu = FileOpenMenuItem->addMenu(QStringLiteral("导入到档案"));
  ImportToArchiveMenu->setObjectName(QStringLiteral("ImportToArchiveMenu"));
  ImportFilesToArchiveMenuItem = action(ImportToArchiveMenu, "ImportFilesToArchiveMenuItem",
                                        QStringLiteral("文件…"), &TMainForm::ImportFilesToArchiveClick);
  ImportFolderToArchiveMenuItem = action(ImportToArchiveMenu, "ImportFolderToArchiveMenuItem",
                                         QStringLiteral("文件夹…"), &TMainForm::ImportFolderToArchiveClick);
  OpenArchiveMenuItem = action(FileOpenMenuItem, "OpenArchiveMenuItem", QStringLiteral("打开档案…"),
                               &TMainForm::OpenArchiveClick);
  FileOpenMenuItem->addSeparator();
  SaveFileMenuItem = action(FileOpenMenuItem, "SaveFileMenuItem", QStringLiteral("保存(&S)"),
                            &TMainForm::SaveFileButtonClick, QKeySequence(Qt::CTRL | Qt::Key_S));
  FileOpenMenuItem->addSeparator();
  PrintMenuItem = action(FileOpenMenuItem, "PrintMenuItem", QStringLiteral("打印(&P)"),
                         &TMainForm::PrintButtonClick, QKeySequence(Qt::CTRL | Qt::Key_P));
  FileOpenMenuItem->addSeparator();
  ExitMenuItem = action(FileOpenMenuItem, "ExitMenuItem", QStringLiteral("退出(&E)"),
                        &TMainForm::ExitMenuItemClick);

  ViewMenuItem = menuBar()->addMenu(QStringLiteral("视图(&V)"));
  ViewMenuItem->setObjectName(QStringLiteral("ViewMenuItem"));
  DataTableMenuItem = action(ViewMenuItem, "DataTableMenuItem", QStringLiteral("数据表(&D)"),
                             &TMainForm::DataTableMenuItemClick);
  ChartMenuItem = action(ViewMenuItem, "ChartMenuItem", QStringLiteral("趋势图(&C)"),
                         &TMainForm::ChartMenuItemClick);
  SystemCaseMenuItem = action(ViewMenuItem, "SystemCaseMenuItem", QStringLiteral("系统总貌(&S)"),
                              &TMainForm::SystemCaseMenuItemClick);
  ViewMenuItem->addSeparator();
  EnvelopeMenuItem = action(ViewMenuItem, "EnvelopeMenuItem", QStringLiteral("峰值包络"),
                            &TMainForm::EnvelopeMenuItemClick);
  EnvelopeMenuItem->setCheckable(true);
  EnvelopeMenuItem->setToolTip(QStringLiteral("曲线按每个像素列的最小值和最大值绘制，单点尖峰也不会被隐去"));
  CreateChartMenus();

  RealMenuItem = menuBar()->addMenu(QStringLiteral("实时监控(&R)"));
  RealMenuItem->setObjectName(QStringLiteral("RealMenuItem"));
  ComSettingMenuItem = action(RealMenuItem, "ComSettingMenuItem", QStringLiteral("实时通信设置(&S)"),
                              &TMainForm::ComSettingButtonClick);
  RealMenuItem->addSeparator();
  RunMenuItem = action(RealMenuItem, "RunMenuItem", QStringLiteral("启动(&R)"),
                       &TMainForm::RunButtonClick);
  StopMenuItem = action(RealMenuItem, "StopMenuItem", QStringLiteral("停止(&S)"),
                        &TMainForm::StopButtonClick);
  RealMenuItem->addSeparator();
  TrafficMenuItem = action(RealMenuItem, "TrafficMenuItem", QStringLiteral("通讯记录"),
                           &TMainForm::TrafficMenuItemClick);

  HelpMenuItem = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
  HelpMenuItem->setObjectName(QStringLiteral("HelpMenuItem"));
  H1 = action(HelpMenuItem, "H1", QStringLiteral("帮助(&H)"), &TMainForm::OnHelpClick);
  OEMDownLoad = action(HelpMenuItem, "OEMDownLoad", QStringLiteral("OEM下装(&D)"),
                       &TMainForm::OnOEMDLClick);
  OEMDownLoad->setVisible(false);
  HelpMenuItem->addSeparator();
  AboutIMenuItem = action(HelpMenuItem, "AboutIMenuItem", QStringLiteral("关于(&A)"),
                          &TMainForm::AboutButtonClick);
}

void TMainForm::CreateToolBar() {
  ToolBar = addToolBar(QStringLiteral("ToolBar"));
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar->setIconSize(QSize(22, 22));
  ToolBar->setFixedHeight(29 + 6);
  ToolBar->toggleViewAction()->setEnabled(false);
  setContextMenuPolicy(Qt::NoContextMenu);

  auto button = [this](const char* name, const QIcon& icon, const QString& hint,
                       void (TMainForm::*handler)()) {
    auto* a = ToolBar->addAction(icon, hint);
    a->setObjectName(QLatin1String(name));
    a->setToolTip(hint);
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
  };
  QStyle* s = style();
  OpenFileButton = button("OpenFileButton", s->standardIcon(QStyle::SP_DialogOpenButton),
                          QStringLiteral("打开文件"), &TMainForm::OpenFileButtonClick);
  OpenArchiveButton = button("OpenArchiveButton", s->standardIcon(QStyle::SP_DirOpenIcon),
                             QStringLiteral("打开档案"), &TMainForm::OpenArchiveClick);
  DataFilterButton = button("DataFilterButton", s->standardIcon(QStyle::SP_FileDialogContentsView),
                            QStringLiteral("数据筛选条件设置"), &TMainForm::DataFilterButtonClick);
  SaveFileButton = button("SaveFileButton", s->standardIcon(QStyle::SP_DialogSaveButton),
                          QStringLiteral("保存"), &TMainForm::SaveFileButtonClick);
  ToolBar->addSeparator();
  PrintButton = button("PrintButton", PrinterIcon(palette()), QStringLiteral("打印"),
                       &TMainForm::PrintButtonClick);
  ToolBar->addSeparator();
  FirstPageButton = button("FirstPageButton", s->standardIcon(QStyle::SP_MediaSkipBackward),
                           QStringLiteral("首页"), &TMainForm::FirstPageButtonClick);
  FrontPageButton = button("FrontPageButton", s->standardIcon(QStyle::SP_MediaSeekBackward),
                           QStringLiteral("上一页"), &TMainForm::FrontPageButtonClick);
  NextPageButton = button("NextPageButton", s->standardIcon(QStyle::SP_MediaSeekForward),
                          QStringLiteral("下一页"), &TMainForm::NextPageButtonClick);
  EndPageButton = button("EndPageButton", s->standardIcon(QStyle::SP_MediaSkipForward),
                         QStringLiteral("尾页"), &TMainForm::EndPageButtonClick);
  ToolBar->addSeparator();
  ComSettingButton = button("ComSettingButton", s->standardIcon(QStyle::SP_ComputerIcon),
                            QStringLiteral("实时通信设置"), &TMainForm::ComSettingButtonClick);
  RunButton = button("RunButton", s->standardIcon(QStyle::SP_MediaPlay), QStringLiteral("运行"),
                     &TMainForm::RunButtonClick);
  StopButton = button("StopButton", s->standardIcon(QStyle::SP_MediaStop), QStringLiteral("停止"),
                      &TMainForm::StopButtonClick);
  ToolBar->addSeparator();
  HelpButton = button("HelpButton", s->standardIcon(QStyle::SP_MessageBoxQuestion),
                      QStringLiteral("帮助"), &TMainForm::OnHelpClick);
}

}  // namespace vantiro
