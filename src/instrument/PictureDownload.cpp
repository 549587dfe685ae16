#include "instrument/PictureDownload.h"

#include <vector>

#include "instrument/ModbusRtuImpl.h"
#include "instrument/PictureFile.h"
#include "instrument/RecorderRegisters.h"

namespace vantiro {

bool DownloadOverInstrument::Open() {
  linkOpen = instrument_.OpenLink();
  return linkOpen;
}
bool DownloadOverInstrument::Start(int picture) { return instrument_.StartDownload(picture); }
bool DownloadOverInstrument::Block(const std::uint8_t* data, std::int32_t length,
                                   std::int32_t sequence) {
  return instrument_.SendDownloadBlock(data, length, sequence);
}
bool DownloadOverInstrument::Finish() { return instrument_.FinishDownload(); }
void DownloadOverInstrument::Close() {
  instrument_.CloseLink();
  linkOpen = false;
}
void DownloadOverInstrument::Abort() { instrument_.AbortExchange(); }

namespace {

DownloadOutcome Stopped() { return {false, true, kDownloadStoppedText}; }

DownloadOutcome Steps(DownloadPort& port, const std::string& path, int picture,
                      const DownloadProgress& report, const std::stop_token& stop) {
  // A failure that a stop request caused is the stop.
  const auto failed = [&stop] {
    return stop.stop_requested() ? Stopped() : DownloadOutcome{false, false, kDownloadFailedText};
  };
  std::vector<std::uint8_t> bytes;
  if (!ReadPictureFile(path, bytes) || bytes.empty()) {
    return {false, false, kReadPictureFailedText};
  }

  const std::size_t blockSize = kPictureBlockSize;
  const std::size_t remainder = bytes.size() % blockSize;
  if (remainder != 0) bytes.resize(bytes.size() + blockSize - remainder, 0);
  const std::size_t blocks = bytes.size() / blockSize;  // at most kMaxPictureBytes / 512 + 1
  const int maximum = static_cast<int>(blocks) + 2;
  int position = 0;
  report(position, maximum);

  if (stop.stop_requested()) return Stopped();
  if (!port.Start(picture)) return failed();
  report(++position, maximum);

  for (std::size_t j = 0; j < blocks; ++j) {
    bool sent = false;
    for (int attempt = 0; attempt < kBlockAttempts && !sent; ++attempt) {
      if (stop.stop_requested()) return Stopped();
      sent =
          port.Block(bytes.data() + j * blockSize, kPictureBlockSize, static_cast<std::int32_t>(j));
    }
    if (!sent) return failed();
    report(++position, maximum);
  }

  if (stop.stop_requested()) return Stopped();
  if (!port.Finish()) return failed();
  report(++position, maximum);
  return {true, false, kDownloadSucceededText};
}

}  // namespace

DownloadOutcome DownloadPicture(DownloadPort& port, const std::string& path, int picture,
                                const DownloadProgress& progress, std::stop_token stop) {
  const DownloadProgress report = [&](int position, int maximum) {
    if (progress) progress(position, maximum);
  };
  report(0, 0);
  if (stop.stop_requested()) return Stopped();
  if (!port.Open()) {
    return stop.stop_requested() ? Stopped()
                                 : DownloadOutcome{false, false, kDownloadOpenFailedText};
  }
  DownloadOutcome outcome;
  {
    // From here a stop request also ends the exchange that is waiting (on the requesting thread;
    // at once when it came during the open). The callback is gone before the port is closed.
    const std::stop_callback abort(stop, [&port] { port.Abort(); });
    outcome = Steps(port, path, picture, report, stop);
  }
  port.Close();
  return outcome;
}

}  // namespace vantiro
