#include "app/AppDialogs.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

namespace vantiro {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("关于"));
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QStringLiteral("Vantiro"), this);
  name->setObjectName(QStringLiteral("ProductName"));
  QFont font = name->font();
  font.setPointSize(font.pointSize() + 6);
  font.setBold(true);
  name->setFont(font);
  auto* version = new QLabel(QStringLiteral("版本 %1").arg(QLatin1String(kProgramVersion)), this);
  version->setObjectName(QStringLiteral("Version"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(name, 0, Qt::AlignHCenter);
  layout->addWidget(version, 0, Qt::AlignHCenter);
  layout->addWidget(buttons);
}

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Form1"));
}

}  // namespace vantiro
