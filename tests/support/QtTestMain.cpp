// main() of the GUI test programs: one QApplication on the offscreen platform for every test.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantiro"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
