// An ALSA capture device in, blocks of samples and then capture records out.
#include "import/device_import.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "import/sample_import.h"
#include "import/sample_source.h"

namespace {

// A period of 10 ms or less, and room for several, so nothing waits long and little is lost
// when the reader falls behind for a moment.
constexpr double PeriodSeconds = 0.01;
constexpr unsigned PeriodsInBuffer = 16;

class DeviceSource : public SampleSource {
 public:
  ~DeviceSource() override {
    if (pcm_ != nullptr) snd_pcm_close(pcm_);
  }

  std::string Open(const std::string& name, unsigned rate, unsigned channels, int channel) {
    name_ = name;
    int status = snd_pcm_open(&pcm_, name.c_str(), SND_PCM_STREAM_CAPTURE, 0);
    if (status < 0) {
      pcm_ = nullptr;
      return Failure("cannot open the capture device", status);
    }
    snd_pcm_hw_params_t* parameters;
    snd_pcm_hw_params_alloca(&parameters);
    snd_pcm_uframes_t period = std::max(1u, static_cast<unsigned>(rate * PeriodSeconds));
    snd_pcm_uframes_t buffer = period * PeriodsInBuffer;
    unsigned actualRate = rate;
    if ((status = snd_pcm_hw_params_any(pcm_, parameters)) < 0 ||
        (status = snd_pcm_hw_params_set_access(pcm_, parameters, SND_PCM_ACCESS_RW_INTERLEAVED)) <
            0 ||
        (status = snd_pcm_hw_params_set_format(pcm_, parameters, SND_PCM_FORMAT_S16_LE)) < 0 ||
        (status = snd_pcm_hw_params_set_channels(pcm_, parameters, channels)) < 0 ||
        (status = snd_pcm_hw_params_set_rate_near(pcm_, parameters, &actualRate, nullptr)) < 0 ||
        (status = snd_pcm_hw_params_set_period_size_near(pcm_, parameters, &period, nullptr)) < 0 ||
        (status = snd_pcm_hw_params_set_buffer_size_near(pcm_, parameters, &buffer)) < 0 ||
        (status = snd_pcm_hw_params(pcm_, parameters)) < 0) {
      return Failure("cannot record S16_LE, " + std::to_string(channels) + " channel" +
                         (channels == 1 ? "" : "s") + " at " + std::to_string(rate) + " Hz from",
                     status);
    }
    if ((status = snd_pcm_prepare(pcm_)) < 0) return Failure("cannot start", status);
    Format = "ALSA device " + name;
    Rate = actualRate;
    Channels = static_cast<int>(channels);
    Live = true;
    BlockFrames = std::min<std::size_t>(period, static_cast<std::size_t>(rate * PeriodSeconds));
    BlockFrames = std::max<std::size_t>(1, BlockFrames);
    channel_ = channel;
    interleaved_.resize(BlockFrames * channels);
    return {};
  }

  long Read(float* mono, std::size_t frames) override {
    frames = std::min(frames, BlockFrames);
    for (;;) {
      snd_pcm_sframes_t got =
          snd_pcm_readi(pcm_, interleaved_.data(), static_cast<snd_pcm_uframes_t>(frames));
      if (got > 0) {
        for (snd_pcm_sframes_t i = 0; i < got; ++i) {
          mono[i] = interleaved_[static_cast<std::size_t>(i * Channels + channel_ - 1)] / 32768.0f;
        }
        return static_cast<long>(got);
      }
      if (got == 0) return 0;
      if (got == -EINTR) return 0;  // a stop signal: the recording ends here
      if (got == -EPIPE) {
        // The buffer filled before it was read: some audio is lost; carry on.
        ++Overruns;
        if (int status = snd_pcm_prepare(pcm_); status < 0) {
          error_ = Failure("cannot recover from an overrun on", status);
          return -1;
        }
        continue;
      }
      if (got == -ESTRPIPE) {
        while (snd_pcm_resume(pcm_) == -EAGAIN) snd_pcm_wait(pcm_, 100);
        snd_pcm_prepare(pcm_);
        continue;
      }
      // The device has no more data (a file-backed device at its end) or has gone away.
      if (got == -ENODEV || got == -EIO) return 0;
      error_ = Failure("cannot read from", static_cast<int>(got));
      return -1;
    }
  }

  std::string Error() const override { return error_; }

 private:
  std::string Failure(const std::string& what, int status) const {
    return what + " " + name_ + ": " + snd_strerror(status);
  }

  snd_pcm_t* pcm_ = nullptr;
  std::string name_;
  int channel_ = 1;
  std::vector<std::int16_t> interleaved_;
  std::string error_;
};

}  // namespace

std::string ImportDevice(const ImportRequest& request, ImportSummary& summary) {
  const AudioImportOptions& audio = request.Audio;
  if (audio.Channel > audio.Channels) {
    return "channel " + std::to_string(audio.Channel) + " does not exist: the device is opened " +
           "with " + std::to_string(audio.Channels) + " channel" +
           (audio.Channels == 1 ? "" : "s") + " (--channels)";
  }
  DeviceSource source;
  if (std::string error = source.Open(audio.Device, static_cast<unsigned>(audio.Rate),
                                      static_cast<unsigned>(audio.Channels), audio.Channel);
      !error.empty()) {
    return error;
  }
  return ImportSamples(source, audio.Device, request, summary);
}

std::string CaptureDeviceList() {
  std::string list;
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0) return list;
  for (void** hint = hints; *hint != nullptr; ++hint) {
    char* name = snd_device_name_get_hint(*hint, "NAME");
    char* description = snd_device_name_get_hint(*hint, "DESC");
    char* direction = snd_device_name_get_hint(*hint, "IOID");
    // Devices without a direction do both.
    if (name != nullptr && (direction == nullptr || std::string(direction) == "Input")) {
      std::string text = description != nullptr ? description : "";
      std::replace(text.begin(), text.end(), '\n', ' ');
      list += std::string(name) + "\n    " + text + "\n";
    }
    free(name);
    free(description);
    free(direction);
  }
  snd_device_name_free_hint(hints);
  return list;
}
