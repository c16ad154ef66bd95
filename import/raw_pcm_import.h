// Raw PCM to runs. In: headerless samples from a file or standard input (what arecord -t raw or
// another program writes), described by --raw FORMAT (u8, s8, s16, s24 and s32 in either byte
// order, f32 and f64 likewise: s16le, f32be, ...), --rate and --channels. Out: runs, through the
// same receiver as audio files. A stream is read as it arrives; a partial frame at its end is
// ignored. The samples of a WAV or AIFF stream are read this way too, after their header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/import_request.h"
#include "import/sample_source.h"

// The raw sample formats' names, and their sizes in bytes (0 for an unknown name).
std::vector<std::string> RawFormatNames();
std::size_t RawSampleBytes(const std::string& format);

// Whether --channel lies within --channels: an error text (a usage error, known before any
// sample is read), empty when it does.
std::string CheckRawChannel(const AudioImportOptions& audio);

// A source over an open descriptor (not closed by it) of raw samples.
class RawPcmSource : public SampleSource {
 public:
  // `format` is one of RawFormatNames(); `live`: the descriptor is a pipe, a FIFO, a terminal or
  // a device; `mostBytes`: the samples end after this many bytes (0: at the end of the input).
  RawPcmSource(int descriptor, const std::string& format, int rate, int channels, int channel,
               bool live, std::uint64_t mostBytes = 0);

  long Read(float* mono, std::size_t frames) override;
  std::string Error() const override { return error_; }

 private:
  float Sample(const unsigned char* bytes) const;

  int descriptor_;
  std::string format_;
  std::size_t sampleBytes_, frameBytes_;
  int channel_;
  std::vector<unsigned char> bytes_;
  std::size_t carried_ = 0;  // bytes of a partial frame kept from the last read
  std::uint64_t bytesLeft_;  // of the samples announced
  bool float_ = false, unsigned_ = false, bigEndian_ = false;
  std::string error_;
};

std::string ImportRawPcm(const ImportRequest& request, ImportSummary& summary);
