// The built program started with --monitor, as a control-room display starts after a power cut:
// against the simulated recorder on a pseudo-terminal with the default odd parity, it probes the
// recorder and then polls it once a second, with nobody pressing anything.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <vector>

#include "integration/SimulatedLine.h"

namespace vantiro {
namespace {

using testing::ChannelSection;
using testing::SimulatedLine;

TEST(MonitorAtStartTest, TheProgramProbesThenPollsOnceASecond) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig(1, ChannelSection({1, 2, 3}), 1);

  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(line.Dir().File("config-home")));
  program.setProcessEnvironment(env);
  program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  program.start(QStringLiteral(VANTIRO_BIN_DIR "/vantiro"),
                {"--monitor", "--config", QString::fromStdString(ini)});
  ASSERT_TRUE(program.waitForStarted(10000));

  // The replies the recorder sent, watched every 20 ms: each burst of them after a quiet spell is
  // one exchange of the program with the recorder, the first the probe, the others polls.
  struct Burst {
    qint64 start;  // ms
    int replies;
  };
  std::vector<Burst> bursts;
  QElapsedTimer clock;
  clock.start();
  int last = 0;
  qint64 lastChange = -1000;
  while (clock.elapsed() < 30000 && bursts.size() < 6) {
    const int now = line.Simulator().RepliesSent();
    if (now != last) {
      if (clock.elapsed() - lastChange > 400) bursts.push_back({clock.elapsed(), 0});
      bursts.back().replies += now - last;
      last = now;
      lastChange = clock.elapsed();
    }
    ASSERT_NE(program.state(), QProcess::NotRunning) << "the program ended";
    QThread::msleep(20);
  }
  program.kill();
  program.waitForFinished(10000);

  ASSERT_GE(bursts.size(), 5u) << "a probe and four polls";
  // The probe reads every monitored channel's set-up: more than a poll does.
  EXPECT_GT(bursts[0].replies, bursts[1].replies);
  for (std::size_t i = 2; i + 1 < bursts.size(); ++i) {
    // Every poll asks the same; the last burst may still be running when the watch ended.
    EXPECT_EQ(bursts[i].replies, bursts[1].replies) << "poll " << i;
  }
  for (std::size_t i = 2; i < bursts.size(); ++i) {
    const qint64 gap = bursts[i].start - bursts[i - 1].start;
    EXPECT_GE(gap, 700) << "poll " << i;
    EXPECT_LE(gap, 1500) << "poll " << i;
  }
}

}  // namespace
}  // namespace vantiro
