// How long a 64 KB picture takes to reach the simulated recorder on a pseudo-terminal, through the
// real termios layer: 128 blocks of 512 bytes between the start and the end frame, 130 frames in
// all, each waiting for its acknowledgement. Two ways: the download sequence alone, and the whole
// round of the download dialog (start button, worker, progress bar and outcome through queued
// calls on the GUI thread).
//
// Counters, in seconds:
// - seconds: one download, start to outcome.
// - ack_pause_floor_s: frames × 50 ms, what the download would cost if every acknowledgement
//   came only at the second read, after one 50 ms pause. A recorder that answers at once costs no
//   pause: the serial layer returns as soon as the 6 acknowledgement bytes are there.
// - wire_floor_s: the bytes of all frames and acknowledgements at 10 bits each and 115200 bits
//   per second (8 data bits, no parity, 1 stop bit, the settings used here): what a real line
//   cannot go below. A pseudo-terminal has no line speed, so the figure here is below it.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"
#include "instrument/PictureDownload.h"
#include "instrument/RecorderRegisters.h"
#include "instrument/ui/InstrumentDialogs.h"
#include "platform/MallocTuning.h"
#include "recorder-sim/PtyRecorder.h"
#include "support/ScriptedPrompts.h"

namespace {

using namespace vantiro;

constexpr std::size_t kPictureBytes = 64 * 1024;
constexpr int kBlocks = static_cast<int>(kPictureBytes / kPictureBlockSize);
constexpr int kFrames = kBlocks + 2;
constexpr double kAckPauseSeconds = 0.050;
constexpr double kBitsPerSecond = 115200.0;
constexpr int kBitsPerByte = 10;  // start, 8 data, stop
// Start frame 11 and its reply 6, each block 517 and 6, end frame 10 and its reply 5.
constexpr double kLineBytes = 11 + 6 + kBlocks * (517.0 + 6) + 10 + 5;

// A fresh temporary directory with config.ini (port 1 on `device`, 115200 8N1) and the picture as
// a source-code array; removed at the end.
class DownloadFiles {
 public:
  explicit DownloadFiles(const std::string& device) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantiro-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    std::ofstream(Ini()) << "[COM]\nport=0\nbaudRate=6\nstopBit=0\ndataBit=3\ncheckType=0\n"
                            "address=1\n[DEVICE]\nCOM1="
                         << device << "\n";
    std::string text = "const unsigned char gImage_bench[65536] = {\n";
    static const char* digits = "0123456789ABCDEF";
    for (std::size_t i = 0; i < kPictureBytes; ++i) {
      const auto byte = static_cast<unsigned>((i * 37 + i / 512) & 0xFF);
      text += "0X";
      text += digits[byte >> 4];
      text += digits[byte & 15];
      text += (i % 16 == 15) ? ",\n" : ",";
    }
    std::ofstream(Picture()) << text << "};\n";
  }
  ~DownloadFiles() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Ini() const { return (dir_ / "config.ini").string(); }
  std::string Picture() const { return (dir_ / "picture.c").string(); }

 private:
  std::filesystem::path dir_;
};

// The simulated recorder on a pseudo-terminal, the files naming it, and the instrument link over
// the real serial layer; a benchmark whose simulator does not start is skipped.
class SimulatedLine {
 public:
  explicit SimulatedLine(benchmark::State& state) {
    std::string error;
    if (!simulator_.Start(error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    files_ = std::make_unique<DownloadFiles>(simulator_.DevicePath());
    library_ = std::make_unique<TermiosSerialLibrary>(files_->Ini());
    instrument_ = std::make_unique<ModbusRtuImpl>(*library_);
  }
  bool Ready() const { return instrument_ != nullptr; }
  const DownloadFiles& Files() const { return *files_; }
  ModbusRtuImpl& Instrument() { return *instrument_; }

 private:
  sim::SimulatorThread simulator_;
  std::unique_ptr<DownloadFiles> files_;
  std::unique_ptr<TermiosSerialLibrary> library_;
  std::unique_ptr<ModbusRtuImpl> instrument_;
};

void SetFloors(benchmark::State& state, const std::vector<double>& seconds, int failed) {
  double total = 0.0;
  for (const double s : seconds) total += s;
  state.counters["seconds"] = seconds.empty() ? 0.0 : total / static_cast<double>(seconds.size());
  state.counters["frames"] = kFrames;
  state.counters["ack_pause_floor_s"] = kFrames * kAckPauseSeconds;
  state.counters["wire_floor_s"] = kLineBytes * kBitsPerByte / kBitsPerSecond;
  state.counters["failed"] = failed;
}

// The sequence alone, on this thread.
void DownloadSequence(benchmark::State& state) {
  SimulatedLine line(state);
  if (!line.Ready()) return;
  LoadCommSettings(line.Files().Ini());
  DownloadOverInstrument port(line.Instrument());

  std::vector<double> seconds;
  int failed = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const DownloadOutcome outcome = DownloadPicture(port, line.Files().Picture(), 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    seconds.push_back(took.count());
    if (!outcome.succeeded) ++failed;
  }
  SetFloors(state, seconds, failed);
}
BENCHMARK(DownloadSequence)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// The dialog's round: press start, run the event loop until the outcome is on show.
void DownloadThroughDialog(benchmark::State& state) {
  SimulatedLine line(state);
  if (!line.Ready()) return;
  testing::ScriptedPrompts prompts;
  auto dialog = std::make_unique<TOEMDLDlg>(nullptr, line.Instrument());
  dialog->SetIniPath(line.Files().Ini());
  dialog->DLPicPath->setText(QString::fromStdString(line.Files().Picture()));

  std::vector<double> seconds;
  int failed = 0;
  for (auto _ : state) {
    const std::size_t shown = prompts.messages.size();
    QElapsedTimer timer;
    timer.start();
    dialog->StartBtnClick();
    while (!dialog->StartBtn->isEnabled()) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const double took = static_cast<double>(timer.nsecsElapsed()) * 1e-9;
    state.SetIterationTime(took);
    seconds.push_back(took);
    if (prompts.messages.size() != shown + 1 ||
        prompts.messages.back().text != QStringLiteral("下装成功!")) {
      ++failed;
    }
  }
  dialog.reset();
  SetFloors(state, seconds, failed);
}
BENCHMARK(DownloadThroughDialog)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  vantiro::RestartWithHugePageMalloc(argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
