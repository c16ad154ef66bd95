// An ALSA capture device in; blocks of samples, through a capture thread and a bounded queue, and
// then runs out.
#include "import/device_import.h"

#include <alsa/asoundlib.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/capture_records.h"

#include "import/sample_import.h"
#include "import/sample_source.h"

namespace {

// A period of 10 ms or less, and room for several, so nothing waits long and little is lost
// when the reader falls behind for a moment.
constexpr double PeriodSeconds = 0.01;
constexpr unsigned PeriodsInBuffer = 16;
// Blocks the capture thread may have ready before the reader takes them (a third of a second
// at 10 ms); beyond that the capture thread waits, and a sound card that runs on meanwhile
// overruns its own buffer (counted).
constexpr std::size_t QueuedBlocks = 32;
// How long a finished recording waits for a device stuck in a read before leaving it behind.
constexpr auto StuckDeviceWait = std::chrono::milliseconds(100);

// libasound reports its troubles on standard error by itself; the messages a user needs are
// ours, made from its error codes.
extern "C" void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// What the capture thread and the reader share: the device, a bounded queue of blocks of the
// chosen channel's samples, and how the recording ended. The capture thread owns the device
// while it runs and closes it when it ends.
struct Capture {
  snd_pcm_t* Pcm = nullptr;
  std::string Name;
  int Channels = 1, Channel = 1;
  std::size_t BlockFrames = 1;

  std::mutex Lock;
  std::condition_variable Ready;          // a block is queued, or the capture has ended
  std::condition_variable Room;           // a block was taken, or the reader wants no more
  std::deque<std::vector<float>> Queue;   // at most QueuedBlocks
  std::vector<std::vector<float>> Spare;  // emptied blocks, for reuse
  std::uint64_t Overruns = 0;
  bool Halt = false;   // the reader wants no more
  bool Ended = false;  // the capture thread has finished
  std::string Error;   // why, when it failed
};

std::string Failure(const std::string& what, const std::string& name, int status) {
  return what + " " + name + ": " + snd_strerror(status);
}

// The capture thread: reads periods from the device and queues them, until halted, the device
// ends, or it fails. Stop signals are blocked here, so they reach the reader's thread.
void CaptureBlocks(std::shared_ptr<Capture> capture) {
  std::vector<std::int16_t> interleaved(capture->BlockFrames *
                                        static_cast<std::size_t>(capture->Channels));
  std::string error;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(capture->Lock);
      if (capture->Halt) break;
    }
    snd_pcm_sframes_t got = snd_pcm_readi(capture->Pcm, interleaved.data(),
                                          static_cast<snd_pcm_uframes_t>(capture->BlockFrames));
    if (got == -EPIPE) {
      // The buffer filled before it was read: some audio is lost; carry on.
      std::lock_guard<std::mutex> lock(capture->Lock);
      ++capture->Overruns;
      if (int status = snd_pcm_prepare(capture->Pcm); status < 0) {
        error = Failure("cannot recover from an overrun on", capture->Name, status);
        break;
      }
      continue;
    }
    if (got == -ESTRPIPE) {
      while (snd_pcm_resume(capture->Pcm) == -EAGAIN) snd_pcm_wait(capture->Pcm, 100);
      snd_pcm_prepare(capture->Pcm);
      continue;
    }
    if (got == -EINTR || got == -EAGAIN) continue;
    // The device has no more data (a file-backed device at its end) or has gone away.
    if (got == 0 || got == -ENODEV || got == -EIO) break;
    if (got < 0) {
      error = Failure("cannot read from", capture->Name, static_cast<int>(got));
      break;
    }
    std::unique_lock<std::mutex> lock(capture->Lock);
    capture->Room.wait(lock, [&] { return capture->Queue.size() < QueuedBlocks || capture->Halt; });
    if (capture->Halt) break;
    std::vector<float> block;
    if (!capture->Spare.empty()) {
      block = std::move(capture->Spare.back());
      capture->Spare.pop_back();
    }
    block.resize(static_cast<std::size_t>(got));
    for (snd_pcm_sframes_t i = 0; i < got; ++i) {
      block[static_cast<std::size_t>(i)] =
          interleaved[static_cast<std::size_t>(i * capture->Channels + capture->Channel - 1)] /
          32768.0f;
    }
    capture->Queue.push_back(std::move(block));
    capture->Ready.notify_one();
  }
  snd_pcm_close(capture->Pcm);
  std::lock_guard<std::mutex> lock(capture->Lock);
  capture->Error = error;
  capture->Ended = true;
  capture->Ready.notify_one();
}

class DeviceSource : public SampleSource {
 public:
  ~DeviceSource() override {
    if (!thread_.joinable()) {
      if (capture_->Pcm != nullptr) snd_pcm_close(capture_->Pcm);
      return;
    }
    std::unique_lock<std::mutex> lock(capture_->Lock);
    capture_->Halt = true;
    capture_->Room.notify_one();
    const bool ended =
        capture_->Ready.wait_for(lock, StuckDeviceWait, [this] { return capture_->Ended; });
    lock.unlock();
    // A device that delivers nothing may keep its read waiting for ever: it is left to it (the
    // thread closes it if the read ever returns; the process's end releases it otherwise).
    if (ended) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }

  std::string Open(const std::string& name, unsigned rate, unsigned channels, int channel) {
    snd_lib_error_set_handler(QuietAlsa);
    Capture& capture = *capture_;
    capture.Name = name;
    int status = snd_pcm_open(&capture.Pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, 0);
    if (status < 0) {
      capture.Pcm = nullptr;
      return Failure("cannot open the capture device", name, status) +
             " (MorvantisCapture import --list-devices shows the devices there are)";
    }
    snd_pcm_t* pcm = capture.Pcm;
    snd_pcm_hw_params_t* parameters;
    snd_pcm_hw_params_alloca(&parameters);
    snd_pcm_uframes_t period = std::max(1u, static_cast<unsigned>(rate * PeriodSeconds));
    snd_pcm_uframes_t buffer = period * PeriodsInBuffer;
    unsigned actualRate = rate;
    if ((status = snd_pcm_hw_params_any(pcm, parameters)) < 0 ||
        (status = snd_pcm_hw_params_set_access(pcm, parameters, SND_PCM_ACCESS_RW_INTERLEAVED)) <
            0 ||
        (status = snd_pcm_hw_params_set_format(pcm, parameters, SND_PCM_FORMAT_S16_LE)) < 0 ||
        (status = snd_pcm_hw_params_set_channels(pcm, parameters, channels)) < 0 ||
        (status = snd_pcm_hw_params_set_rate_near(pcm, parameters, &actualRate, nullptr)) < 0 ||
        (status = snd_pcm_hw_params_set_period_size_near(pcm, parameters, &period, nullptr)) < 0 ||
        (status = snd_pcm_hw_params_set_buffer_size_near(pcm, parameters, &buffer)) < 0 ||
        (status = snd_pcm_hw_params(pcm, parameters)) < 0) {
      return Failure("cannot record S16_LE, " + std::to_string(channels) + " channel" +
                         (channels == 1 ? "" : "s") + " at " + std::to_string(rate) + " Hz from",
                     name, status);
    }
    if ((status = snd_pcm_prepare(pcm)) < 0) return Failure("cannot start", name, status);
    Format = "ALSA device " + name;
    Rate = actualRate;
    Channels = static_cast<int>(channels);
    Live = true;
    BlockFrames = std::min<std::size_t>(period, static_cast<std::size_t>(rate * PeriodSeconds));
    BlockFrames = std::max<std::size_t>(1, BlockFrames);
    capture.Channels = Channels;
    capture.Channel = channel;
    capture.BlockFrames = BlockFrames;
    // The capture thread starts with the stop signals blocked; they stay with this thread.
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&stops, signalNumber);
    pthread_sigmask(SIG_BLOCK, &stops, &before);
    thread_ = std::thread(CaptureBlocks, capture_);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return {};
  }

  long Read(float* mono, std::size_t frames) override {
    std::unique_lock<std::mutex> lock(capture_->Lock);
    for (;;) {
      Overruns = capture_->Overruns;
      if (!capture_->Queue.empty()) break;
      if (capture_->Ended) {
        if (capture_->Error.empty()) return 0;
        error_ = capture_->Error;
        return -1;
      }
      // Nothing yet: the reader's hook runs outside the lock, then the wait goes on.
      if (!capture_->Ready.wait_for(lock, std::chrono::milliseconds(IdleWaitMs), [this] {
            return !capture_->Queue.empty() || capture_->Ended;
          })) {
        lock.unlock();
        if (Waiting && !Waiting()) return 0;
        lock.lock();
      }
    }
    std::vector<float>& block = capture_->Queue.front();
    const std::size_t taken = std::min(frames, block.size() - used_);
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(used_), taken, mono);
    used_ += taken;
    if (used_ == block.size()) {
      capture_->Spare.push_back(std::move(block));
      capture_->Queue.pop_front();
      capture_->Room.notify_one();
      used_ = 0;
    }
    return static_cast<long>(taken);
  }

  std::string Error() const override { return error_; }

 private:
  std::shared_ptr<Capture> capture_ = std::make_shared<Capture>();
  std::thread thread_;
  std::size_t used_ = 0;  // samples of the queue's first block already read
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
  snd_lib_error_set_handler(QuietAlsa);
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
