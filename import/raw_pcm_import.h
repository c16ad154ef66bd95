// Raw PCM to captures. In: headerless samples from a file or standard input (what arecord -t raw
// or another program writes), described by --raw FORMAT (u8, s8, s16le, s16be, s24le, s32le,
// f32le), --rate and --channels. Out: capture records, through the same slicing as audio files.
// A stream is read as it arrives; a partial frame at its end is ignored.
#pragma once

#include <string>
#include <vector>

#include "import/import_request.h"
#include "import/sample_source.h"

// The raw sample formats, by name; their sizes in bytes, or 0 for an unknown name.
std::size_t RawSampleBytes(const std::string& format);

// A source over an open descriptor (not closed by it) of raw samples.
class RawPcmSource : public SampleSource {
 public:
  // `live`: the descriptor is a pipe, a FIFO, a terminal or a device.
  RawPcmSource(int descriptor, const std::string& format, int rate, int channels, int channel,
               bool live);

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
  std::string error_;
};

std::string ImportRawPcm(const ImportRequest& request, ImportSummary& summary);
