#include "instrument/LiveStations.h"

#include <algorithm>

namespace vantiro {
namespace {

// The process-wide image switched to a station for one exchange, and back when this ends.
class ImageSwitch {
 public:
  ImageSwitch(const LiveStation& station)
      : settings_(commSettings),
        enabled_(channelEnabled),
        configs_(channelConfig),
        values_(liveValues),
        clock_(instrumentClock),
        time_(instrumentTime),
        hh_(alarmHH),
        h_(alarmH),
        l_(alarmL),
        ll_(alarmLL) {
    commSettings = station.settings;
    channelEnabled = station.entry.channels;
    channelConfig = station.configs;
  }
  ~ImageSwitch() {
    commSettings = settings_;
    channelEnabled = enabled_;
    channelConfig = configs_;
    liveValues = values_;
    instrumentClock = clock_;
    instrumentTime = time_;
    alarmHH = hh_;
    alarmH = h_;
    alarmL = l_;
    alarmLL = ll_;
  }
  ImageSwitch(const ImageSwitch&) = delete;
  ImageSwitch& operator=(const ImageSwitch&) = delete;

 private:
  CommSettings settings_;
  std::array<bool, 16> enabled_;
  std::array<ChannelConfig, kInstrumentChannels> configs_;
  std::array<float, kInstrumentChannels> values_;
  std::array<std::uint16_t, 6> clock_;
  DateTime time_;
  std::array<std::int16_t, kInstrumentChannels> hh_, h_, l_, ll_;
};

}  // namespace

LiveReading SnapshotReading() {
  LiveReading r;
  r.settings = commSettings;
  r.clock = instrumentClock;
  r.time = instrumentTime;
  r.values = liveValues;
  for (int i = 0; i < kInstrumentChannels; ++i) {
    r.alarms[i] = {alarmHH[i] != 0, alarmH[i] != 0, alarmL[i] != 0, alarmLL[i] != 0};
  }
  r.configs = channelConfig;
  return r;
}

std::string StationName(const LiveStation& station) {
  if (!station.entry.name.empty()) return station.entry.name;
  return RecorderLinkName(station.settings.port, station.settings.address);
}

std::vector<LiveStation> MakeStations(const std::vector<RecorderEntry>& entries, const CommSettings& main) {
  std::vector<LiveStation> stations;
  for (const RecorderEntry& entry : entries) {
    LiveStation station;
    station.entry = entry;
    station.settings = main;
    station.settings.port = entry.port + 1;
    station.settings.address = entry.address;
    station.lost = true;  // until it answers its probe
    stations.push_back(std::move(station));
  }
  return stations;
}

StationPoller::~StationPoller() { CloseAll(); }

ModbusRtuImpl& StationPoller::LinkFor(const LiveStation& station) {
  if (station.settings.port == commSettings.port) return main_;
  auto& link = own_[station.settings.port];
  if (!link) {
    link = std::make_unique<ModbusRtuImpl>(main_.Library());
    link->SetReadCalls(kStationReadCalls);
  }
  return *link;
}

bool StationPoller::Probe(LiveStation& station) {
  ModbusRtuImpl& link = LinkFor(station);
  const ImageSwitch image(station);
  if (&link != &main_) {
    // Its own line: opened for the probe, kept open while it answers.
    link.CloseLink();
    if (!link.OpenLink()) return false;
  }
  const bool probed = link.Probe();
  if (probed) station.configs = channelConfig;
  return probed;
}

bool StationPoller::Poll(LiveStation& station, LiveReading& reading) {
  ModbusRtuImpl& link = LinkFor(station);
  const ImageSwitch image(station);
  const bool ok = link.PollLive();
  if (ok) reading = SnapshotReading();
  return ok;
}

void StationPoller::ProbeAll(std::vector<LiveStation>& stations) {
  for (LiveStation& station : stations) {
    station.probed = Probe(station);
    station.lost = !station.probed;
    station.failedPolls = 0;
    station.retries = 0;
    station.nextTry = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  }
}

std::vector<StationReading> StationPoller::Tick(std::vector<LiveStation>& stations, bool all) {
  using Clock = std::chrono::steady_clock;
  constexpr int kFailedPollsForLoss = 2;
  constexpr int kDelaysMs[] = {1000, 2000, 5000, 10000};
  std::vector<StationReading> out;
  for (std::size_t i = 0; i < stations.size(); ++i) {
    LiveStation& station = stations[i];
    StationReading result;
    result.station = i;
    if (!station.probed) {
      if (!all && Clock::now() < station.nextTry) {
        result.lost = true;
        out.push_back(std::move(result));
        continue;
      }
      station.probed = Probe(station);
      if (!station.probed) {
        station.nextTry = Clock::now() + std::chrono::milliseconds(kDelaysMs[std::min(station.retries++, 3)]);
        result.lost = true;
        out.push_back(std::move(result));
        continue;
      }
      station.retries = 0;
      station.failedPolls = 0;
    }
    result.ok = Poll(station, result.reading);
    if (result.ok) {
      station.failedPolls = 0;
      station.lost = false;
    } else if (++station.failedPolls >= kFailedPollsForLoss) {
      station.probed = false;
      station.lost = true;
      station.nextTry = Clock::now() + std::chrono::milliseconds(kDelaysMs[0]);
      station.retries = 1;
    }
    result.lost = station.lost;
    out.push_back(std::move(result));
  }
  return out;
}

void StationPoller::CloseAll() {
  for (auto& [port, link] : own_) link->CloseLink();
  own_.clear();
}

void StationPoller::Abort() {
  for (auto& [port, link] : own_) link->AbortExchange();
}

}  // namespace vantiro
