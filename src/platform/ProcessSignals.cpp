#include "platform/ProcessSignals.h"

#include <csignal>

namespace vantiro {

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace vantiro
