// main() of the GUI test programs: one QApplication on the offscreen platform for every test, its
// screen a desktop's full-HD one (Qt's own offscreen screen is 800 x 800, smaller than the main
// window, which would then start smaller than it is made).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A file describing the offscreen platform's screen; removed when the tests end.
struct ScreenConfig {
  std::string path;
  ScreenConfig() {
    char name[] = "/tmp/vantiro-screen-XXXXXX.json";
    const int fd = ::mkstemps(name, 5);
    if (fd < 0) return;
    const char text[] = R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1080}]})";
    const bool written = ::write(fd, text, sizeof text - 1) == static_cast<ssize_t>(sizeof text - 1);
    ::close(fd);
    if (written) {
      path = name;
    } else {
      ::unlink(name);
    }
  }
  ~ScreenConfig() {
    if (!path.empty()) ::unlink(path.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ScreenConfig screen;
  std::vector<char*> arguments(argv, argv + argc);
  std::string platform;
  if (std::strcmp(std::getenv("QT_QPA_PLATFORM"), "offscreen") == 0 && !screen.path.empty()) {
    platform = "offscreen:configfile=" + screen.path;
    arguments.insert(arguments.begin() + 1, {const_cast<char*>("-platform"), platform.data()});
  }
  arguments.push_back(nullptr);
  int count = static_cast<int>(arguments.size()) - 1;
  QApplication app(count, arguments.data());
  QApplication::setApplicationName(QStringLiteral("Vantiro"));
  ::testing::InitGoogleTest(&count, arguments.data());
  return RUN_ALL_TESTS();
}
