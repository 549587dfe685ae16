#pragma once
// vantiro-monitor: real-time monitoring without the GUI.
//
//   vantiro-monitor [--config FILE] [--count N] [--interval MS] [--probe-only] [--trace]
//                   [--archive A] [--recorder NAME] [--no-archive]
//   vantiro-monitor [--config FILE] --download PICTURE [--slot N]
//
// Each reading is kept in the archive as the window keeps it: in A (the user's archive when not
// given), under the recorder NAME (else config.ini's [ARCHIVE] recorder, else "COM1 地址1"),
// committed every 5 seconds and at the end; a failed poll leaves a hole. config.ini's [ARCHIVE]
// record=0 or --no-archive turns it off (--archive turns it on again). A failure of the archive is
// said on standard error ("档案记录失败: ..."); with --archive given it makes the status 1.
//
// --trace prints every read request and what came back on standard error, two lines each, as the
// window's 通讯记录 shows them:
//
//   12:30:05.250 → 01 03 00 00 00 10 44 06
//                ← 01 03 20 00 7B … (应答)
//
// Loads the communication settings from FILE (default: config.ini beside the executable; its
// [DEVICE] section maps the ports as well), opens the port, probes the recorder and prints one line
// per enabled channel:
//
//   channel 3 scale=3 unit=℃ HH=90.000 H=80.000 L=20.000 LL=10.000
//
// then polls every MS milliseconds (default 1000), N times (default: until SIGINT or SIGTERM),
// printing per poll the instrument time and each enabled channel's value with its raised alarm
// flags, or "poll failed":
//
//   2024-05-06 12:30:00 1=50.000 3=120.000!HH!H
//
// Further recorders of config.ini ([RECORDER2] ...) are probed and polled after the first, their
// lines led by the recorder's name in brackets ("[二号炉] channel 3 ...", "[二号炉] 2024-05-06
// 12:30:00 3=12.500", "[二号炉] poll failed"); one that does not answer is said on standard error
// and asked again as the polls go on, and never keeps the first from its polls.
//
// Exit status: 0; 1 when the port cannot be opened or the recorder does not answer the probe (the
// message on standard error); 2 for a usage error.
//
// With --download, the picture file PICTURE goes into picture slot N (1..6, default 1) instead, as
// the OEM download dialog sends it: the progress ("download 3/10") on standard error, the outcome
// ("下装成功!", "下装失败!", "读取文件失败!" or "串口初始化失败!") as the last line of standard
// output; exit status 0 on success, 1 on failure, 2 for a usage error.
//
// SIGINT or SIGTERM ends either within moments, whatever exchange is under way: the port is
// closed, a download says "下装已中止!" as its outcome, and the status is the shell's for a command
// ended by that signal, 130 or 143.

#include <iosfwd>
#include <stop_token>
#include <string>
#include <vector>

#include "instrument/LiveStations.h"
#include "instrument/ModbusRtuImpl.h"

namespace vantiro {

inline constexpr const char* kMonitorUsage =
    "usage: vantiro-monitor [--config FILE] [--count N] [--interval MS] [--probe-only] [--trace]\n"
    "                       [--archive A] [--recorder NAME] [--no-archive]\n"
    "       vantiro-monitor [--config FILE] --download PICTURE [--slot N]";

// What RunMonitor returns when a stop request ended the run before it was done.
inline constexpr int kMonitorStopped = -1;

// Runs the command. A stop request ends it early: the exchange in progress is aborted, the port
// closed, and the result is kMonitorStopped (a run that had already done all it had to gives its
// own status).
int RunMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               std::stop_token stop);

// The line of channel `channel` (1..16) after the probe.
std::string ChannelLine(int channel, const ChannelConfig& config);
// The line of a successful poll, from the instrument image, for the enabled channels.
std::string PollLine();
// The same of a reading, for the channels `enabled`.
std::string PollLineOf(const LiveReading& reading, const std::array<bool, 16>& enabled);

}  // namespace vantiro
