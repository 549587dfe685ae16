#pragma once
// Process-wide signal dispositions every program of the project sets first thing in main().

namespace vantiro {

// A write past the file-size limit (ulimit -f) would kill the process with SIGXFSZ, before the
// writer could keep the previous file and remove its temporary one. Ignored, the write fails with
// EFBIG instead and takes the ordinary failure path. Inherited by programs the process starts.
void IgnoreFileSizeSignal();

}  // namespace vantiro
