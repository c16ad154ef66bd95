// A capture file as a run sink. In: runs from a receiver or an importer. Out: capture records on
// an open stream, handed on after every block when someone reads them live; the first failed
// write stops the run (a full disk shows at once, not at the end).
#pragma once

#include <cerrno>
#include <cstdio>

#include "common/run_sink.h"
#include "files/capture_file.h"

class CaptureWriter : public RunSink {
 public:
  // `live`: the stream is read as it is written (standard output, a FIFO).
  CaptureWriter(std::FILE* output, bool live) : output_(output), live_(live) {}

  bool TakeRuns(const std::int32_t* durations, std::size_t count) override {
    if (failed_ == 0 && !WriteCaptureRecords(output_, durations, count)) failed_ = FailureOf();
    return failed_ == 0;
  }
  void HandOn() override {
    if (live_ && failed_ == 0 && std::fflush(output_) != 0) failed_ = FailureOf();
  }

  // The runs are over: what is buffered goes out too, so that a failure shows in Failure().
  void Finish() {
    if (failed_ == 0 && std::fflush(output_) != 0) failed_ = FailureOf();
  }

  // The errno of the first failed write, 0 while every write has succeeded.
  int Failure() const { return failed_; }

 private:
  static int FailureOf() { return errno != 0 ? errno : EIO; }

  std::FILE* output_;
  bool live_;
  int failed_ = 0;
};
