#pragma once
// A scripted serial library. Every call is recorded; results come from scripts, consumed in order,
// with ordinary behaviour when a script is empty: open, time-outs and line parameters succeed, a
// write takes every byte (and shows it to `onWrite`, the far end), a read delivers what the far end
// has sent (`incoming`), nothing when it has sent nothing. DiscardInput drops `incoming`; after
// Abort every write and read gets kSerialAborted until Close.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "instrument/SerialLibrary.h"

namespace vantiro::testing {

class FakeSerialLibrary : public SerialLibrary {
 public:
  enum class Op {
    Open,
    SetReadTimeouts,
    SetLineParameters,
    Close,
    Write,
    Read,
    DiscardInput,
    Abort
  };
  struct Call {
    Op op;
    int port;
    int a = 0;  // time-outs: total; line parameters: baud code; write, read: byte count
    int b = 0;  // time-outs: interval; line parameters: mode byte
    std::vector<std::uint8_t> bytes = {};  // write: the bytes offered
  };
  // One scripted read: a negative code, or these bytes (what does not fit the read waits for the
  // next one).
  struct ReadStep {
    int code = 0;
    std::vector<std::uint8_t> bytes = {};
  };

  std::deque<int> openResults;
  std::deque<int> lineParameterResults;
  std::deque<int> writeResults;  // a result >= 0 is the number of bytes taken
  std::deque<ReadStep> reads;
  std::deque<std::uint8_t> incoming;
  std::function<void(std::span<const std::uint8_t>)> onWrite;
  bool aborted = false;  // by Abort, until Close
  std::string failureDetail;

  std::vector<Call> calls;

  int Open(int port) override {
    calls.push_back({Op::Open, port});
    return Next(openResults, kSerialOk);
  }
  int SetReadTimeouts(int port, int total, int interval) override {
    calls.push_back({Op::SetReadTimeouts, port, total, interval});
    return kSerialOk;
  }
  int SetLineParameters(int port, int baudCode, int mode) override {
    calls.push_back({Op::SetLineParameters, port, baudCode, mode});
    return Next(lineParameterResults, kSerialOk);
  }
  int Close(int port) override {
    calls.push_back({Op::Close, port});
    aborted = false;
    return kSerialOk;
  }
  int Write(int port, const std::uint8_t* data, int count) override {
    calls.push_back({Op::Write, port, count, 0, std::vector<std::uint8_t>(data, data + count)});
    if (aborted) return kSerialAborted;
    const int taken = std::min(Next(writeResults, count), count);
    if (taken > 0 && onWrite) onWrite(std::span(data, static_cast<std::size_t>(taken)));
    return taken;
  }
  int Read(int port, std::uint8_t* buffer, int count) override {
    calls.push_back({Op::Read, port, count});
    if (aborted) return kSerialAborted;
    if (!reads.empty()) {
      ReadStep step = std::move(reads.front());
      reads.pop_front();
      if (step.code < 0) return step.code;
      const int n = std::min(count, static_cast<int>(step.bytes.size()));
      std::copy_n(step.bytes.begin(), n, buffer);
      if (n < static_cast<int>(step.bytes.size())) {
        reads.push_front({0, std::vector<std::uint8_t>(step.bytes.begin() + n, step.bytes.end())});
      }
      return n;
    }
    const int n = std::min(count, static_cast<int>(incoming.size()));
    std::copy_n(incoming.begin(), n, buffer);
    incoming.erase(incoming.begin(), incoming.begin() + n);
    return n;
  }

  // Drops what the far end has sent and nobody has read (`incoming`); scripted reads stay.
  int DiscardInput(int port) override {
    calls.push_back({Op::DiscardInput, port});
    incoming.clear();
    return kSerialOk;
  }

  // Not recorded as a call: a question, not an operation.
  std::string FailureDetail() const override { return failureDetail; }

  // Every transfer after it gets kSerialAborted, until Close.
  int Abort(int port) override {
    calls.push_back({Op::Abort, port});
    aborted = true;
    return kSerialOk;
  }

  // The far end sends `bytes`.
  void Send(std::span<const std::uint8_t> bytes) {
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
  }

  int CountOf(Op op) const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [op](const Call& c) { return c.op == op; }));
  }
  std::vector<Call> CallsOf(Op op) const {
    std::vector<Call> found;
    for (const Call& c : calls) {
      if (c.op == op) found.push_back(c);
    }
    return found;
  }

 private:
  static int Next(std::deque<int>& script, int fallback) {
    if (script.empty()) return fallback;
    const int result = script.front();
    script.pop_front();
    return result;
  }
};

}  // namespace vantiro::testing
