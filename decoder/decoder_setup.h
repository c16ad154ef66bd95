// A decode from a fresh start, for every program that drives the decoder itself rather than
// through Morvantis's command line: the companion's decode session, tests, fuzz targets and
// benchmarks. In: the verbose level, where the text goes, who listens. Out: the decoder's
// process-wide settings set for the life of the scope and its state reset; at the end the text
// is drained and every setting put back as it was.
#pragma once

#include <cstdint>

#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/decoder_events.h"
#include "decoder/run_decoder.h"

class DecoderSetup {
 public:
  DecoderSetup(std::int32_t level, OutputSink sink, const DecoderEvents& listeners)
      : level_(VerboseLevel), sink_(TextOutput.Sink), listeners_(DecoderListeners) {
    VerboseLevel = level;
    SetOutputSink(sink);
    DecoderListeners = listeners;
    ResetRunDecoder();
  }
  ~DecoderSetup() {
    DrainOutput();
    SetOutputSink(sink_);
    DecoderListeners = listeners_;
    VerboseLevel = level_;
  }
  DecoderSetup(const DecoderSetup&) = delete;
  DecoderSetup& operator=(const DecoderSetup&) = delete;

  // Starts the decoder afresh within the scope (its text so far drained first).
  void Restart() {
    DrainOutput();
    ResetRunDecoder();
  }

 private:
  std::int32_t level_;
  OutputSink sink_;
  DecoderEvents listeners_;
};
