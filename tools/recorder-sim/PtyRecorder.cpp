#include "recorder-sim/PtyRecorder.h"
#include "recorder-sim/TcpRecorder.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace vantiro::sim {
namespace {

constexpr const char* kSimHelp =
    "Answers as a recorder on a pseudo-terminal; the first line printed is its device.\n"
    "  --address N[,N..]  recorder address 1..247 (default 1); several: recorders sharing the line\n"
    "  --link PATH        also make PATH a symbolic link to the device (removed at the end)\n"
    "  --channels FILE[,FILE..]  channel table, one line per channel: n scale unit HH H L LL;\n"
    "                     one for every recorder, or one per address in order\n"
    "                     (raw integers, '#' comments); default scale 3, limits 900 800 200 100\n"
    "  --picture-out PATH where a finished picture download is written\n"
    "  --freeze SECONDS   live values held where their motion is SECONDS after the start\n"
    "  --silent           never answers\n"
    "  --tcp PORT         a gateway on 127.0.0.1:PORT passing RTU frames (0: a free port) instead of\n"
    "                     the terminal; its address (tcp://127.0.0.1:PORT) is the first line printed\n"
    "  --modbus-tcp PORT  the same speaking Modbus TCP (modbus-tcp://127.0.0.1:PORT)\n"
    "  --close-mid-reply  the gateway closes the connection halfway through each reply\n"
    "  --mute FROM:SECONDS  answers nothing for SECONDS seconds from FROM seconds after the start\n"
    "  --bad-crc K        every K-th reply carries a wrong CRC\n"
    "  --wrong-address    replies carry another address\n"
    "  --delay MS         waits MS milliseconds before each reply\n"
    "  --stall K          only the K-th reply waits the --delay (a recorder busy once)\n"
    "  --drop K           leaves every K-th request unanswered\n"
    "  --refuse-block N   answers the N-th block frame of a download with a wrong sequence byte\n"
    "  --exit-on-eof      ends when standard input closes (else at SIGINT or SIGTERM)\n";

std::string ReadWholeFile(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Makes `link` a symbolic link to `target`, replacing an older link (never another file).
bool MakeLink(const std::string& link, const std::string& target, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(link, ec);
  if (fs::is_symlink(status)) {
    fs::remove(link, ec);
  } else if (fs::exists(status)) {
    error = link + " exists and is not a symbolic link";
    return false;
  }
  fs::create_symlink(target, link, ec);
  if (ec) {
    error = "cannot create " + link + ": " + ec.message();
    return false;
  }
  return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
  std::error_code ec;
  if (std::filesystem::is_symlink(link, ec) && std::filesystem::read_symlink(link, ec) == target) {
    std::filesystem::remove(link, ec);
  }
}

}  // namespace

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Moment MomentNow(const SimOptions& options, double startSeconds) {
  Moment moment;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  moment.clock = {static_cast<std::uint16_t>(local.tm_year - 100),
                  static_cast<std::uint16_t>(local.tm_mon + 1),
                  static_cast<std::uint16_t>(local.tm_mday),
                  static_cast<std::uint16_t>(local.tm_hour),
                  static_cast<std::uint16_t>(local.tm_min),
                  static_cast<std::uint16_t>(std::min(local.tm_sec, 59))};
  moment.elapsedSeconds = SteadySeconds() - startSeconds;
  moment.motionSeconds = options.freezeSeconds ? *options.freezeSeconds : moment.elapsedSeconds;
  return moment;
}

std::pair<RecorderModel*, std::vector<std::uint8_t>> AnswerOnBus(const RecorderBus& models,
                                                                 const std::vector<std::uint8_t>& frame,
                                                                 double startSeconds) {
  for (RecorderModel* model : models) {
    std::vector<std::uint8_t> reply = model->Answer(frame, MomentNow(model->Options(), startSeconds));
    if (!reply.empty()) return {model, std::move(reply)};
  }
  return {models.front(), {}};
}

void DelayReply(const RecorderModel& model) {
  const SimOptions& options = model.Options();
  if (options.delayMs > 0 && (options.stallAt == 0 || model.Replies() == options.stallAt)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
  }
}

PtyRecorder::PtyRecorder(RecorderModel& model) : models_{&model} {}
PtyRecorder::PtyRecorder(RecorderBus models) : models_(std::move(models)) {}

PtyRecorder::~PtyRecorder() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

bool PtyRecorder::Open(std::string& error) {
  const auto fail = [&](const char* what) {
    error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0) return fail("grantpt");
  if (::unlockpt(master_) != 0) return fail("unlockpt");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  devicePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail("open slave");
  termios settings{};
  if (::tcgetattr(slave_, &settings) != 0) return fail("tcgetattr");
  ::cfmakeraw(&settings);
  if (::tcsetattr(slave_, TCSANOW, &settings) != 0) return fail("tcsetattr");
  startSeconds_ = SteadySeconds();
  return true;
}

void PtyRecorder::Send(const RecorderModel& model, const std::vector<std::uint8_t>& reply) {
  DelayReply(model);
  std::size_t sent = 0;
  while (sent < reply.size()) {
    const ssize_t n = ::write(master_, reply.data() + sent, reply.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      return;
    }
  }
  repliesSent_.fetch_add(1);
}

void PtyRecorder::Handle(const std::vector<std::uint8_t>& frame) {
  const auto [model, reply] = AnswerOnBus(models_, frame, startSeconds_);
  if (!reply.empty()) Send(*model, reply);
}

void PtyRecorder::Serve(int stopFd, int eofFd) {
  using Clock = std::chrono::steady_clock;
  FrameAssembler assembler;
  Clock::time_point lastByte = Clock::now();
  std::array<std::uint8_t, 2048> buffer{};
  for (;;) {
    std::array<pollfd, 3> fds{};
    fds[0] = {master_, POLLIN, 0};
    fds[1] = {stopFd, POLLIN, 0};
    fds[2] = {eofFd, POLLIN, 0};
    const nfds_t count = eofFd >= 0 ? 3 : 2;
    int timeout = -1;
    if (!assembler.Empty()) {
      const auto quietAt = lastByte + std::chrono::milliseconds(kFrameGapMs);
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(quietAt - Clock::now());
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
    }
    const int ready = ::poll(fds.data(), count, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if (eofFd >= 0 && fds[2].revents != 0) {
      const ssize_t n = ::read(eofFd, buffer.data(), buffer.size());
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
    }
    if (ready == 0) {
      if (const auto frame = assembler.Quiet()) Handle(*frame);
      continue;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      const ssize_t n = ::read(master_, buffer.data(), buffer.size());
      if (n > 0) {
        for (ssize_t i = 0; i < n; ++i) {
          if (const auto frame = assembler.Push(buffer[static_cast<std::size_t>(i)])) {
            Handle(*frame);
          }
        }
        lastByte = Clock::now();
      }
    } else if (fds[0].revents != 0) {
      // The terminal reports a hang-up although the slave is held: do not spin on it.
      std::this_thread::sleep_for(std::chrono::milliseconds(kFrameGapMs));
    }
  }
}

// ---------------------------------------------------------------------------------------------

SimulatorThread::SimulatorThread(SimOptions options, ChannelTable channels)
    : SimulatorThread(std::vector<std::pair<SimOptions, ChannelTable>>{{std::move(options), channels}}) {}

SimulatorThread::SimulatorThread(std::vector<std::pair<SimOptions, ChannelTable>> recorders) {
  RecorderBus bus;
  for (auto& [options, channels] : recorders) {
    models_.push_back(std::make_unique<RecorderModel>(std::move(options), channels));
    bus.push_back(models_.back().get());
  }
  if (models_.front()->Options().tcpPort >= 0) {
    tcp_ = std::make_unique<TcpRecorder>(bus, models_.front()->Options().modbusTcp,
                                         models_.front()->Options().closeMidReply);
  } else {
    pty_ = std::make_unique<PtyRecorder>(bus);
  }
}

SimulatorThread::~SimulatorThread() {
  Stop();
  for (int& fd : stopPipe_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

const std::string& SimulatorThread::DevicePath() const { return tcp_ ? tcp_->Url() : pty_->DevicePath(); }

int SimulatorThread::RepliesSent() const { return tcp_ ? tcp_->RepliesSent() : pty_->RepliesSent(); }

bool SimulatorThread::Start(std::string& error) {
  if (tcp_ ? !tcp_->Listen(models_.front()->Options().tcpPort, error) : !pty_->Open(error)) return false;
  if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  thread_ = std::thread([this] {
    if (tcp_) {
      tcp_->Serve(stopPipe_[0]);
    } else {
      pty_->Serve(stopPipe_[0]);
    }
  });
  return true;
}

void SimulatorThread::Stop() {
  if (!thread_.joinable()) return;
  const char byte = 0;
  while (::write(stopPipe_[1], &byte, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
}

// ---------------------------------------------------------------------------------------------

int RunRecorderSim(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   int stopFd) {
  bool help = false;
  std::string error;
  const std::optional<SimOptions> options = ParseSimOptions(args, help, error);
  if (!options) {
    err << "recorder-sim: " << error << "\n" << kSimUsage << "\n";
    return 2;
  }
  if (help) {
    out << kSimUsage << "\n" << kSimHelp;
    out.flush();
    return 0;
  }
  // Each recorder of the line with its address and channel table.
  std::vector<std::uint8_t> addresses = {options->address};
  addresses.insert(addresses.end(), options->moreAddresses.begin(), options->moreAddresses.end());
  std::vector<std::pair<SimOptions, ChannelTable>> recorders;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    SimOptions own = *options;
    own.address = addresses[i];
    const std::string& file =
        i == 0 || options->moreChannelsFiles.empty() ? options->channelsFile : options->moreChannelsFiles[i - 1];
    ChannelTable channels = DefaultChannels();
    if (!file.empty()) {
      bool readable = false;
      const std::string text = ReadWholeFile(file, readable);
      if (!readable) {
        err << "recorder-sim: cannot read " << file << "\n";
        return 2;
      }
      if (!ParseChannelTable(text, channels, error)) {
        err << "recorder-sim: " << file << ": " << error << "\n";
        return 2;
      }
    }
    recorders.emplace_back(std::move(own), channels);
  }
  std::vector<std::unique_ptr<RecorderModel>> models;
  RecorderBus bus;
  for (auto& [own, channels] : recorders) {
    models.push_back(std::make_unique<RecorderModel>(own, channels));
    bus.push_back(models.back().get());
  }
  if (options->tcpPort >= 0) {
    TcpRecorder gateway(bus, options->modbusTcp, options->closeMidReply);
    if (!gateway.Listen(options->tcpPort, error)) {
      err << "recorder-sim: " << error << "\n";
      return 1;
    }
    out << gateway.Url() << std::endl;
    gateway.Serve(stopFd, options->exitOnEof ? STDIN_FILENO : -1);
    return 0;
  }
  PtyRecorder recorder(bus);
  if (!recorder.Open(error)) {
    err << "recorder-sim: " << error << "\n";
    return 1;
  }
  if (!options->link.empty() && !MakeLink(options->link, recorder.DevicePath(), error)) {
    err << "recorder-sim: " << error << "\n";
    return 1;
  }
  out << recorder.DevicePath() << std::endl;
  recorder.Serve(stopFd, options->exitOnEof ? STDIN_FILENO : -1);
  if (!options->link.empty()) RemoveLink(options->link, recorder.DevicePath());
  return 0;
}

}  // namespace vantiro::sim
