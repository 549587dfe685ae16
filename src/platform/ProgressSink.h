#pragma once
// Progress of a long operation, driven from its worker: the bar's maximum, then steps.

namespace vantiro {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetMax(int max) = 0;
  virtual void StepBy(int steps) = 0;
};

}  // namespace vantiro
