// Audio file in (through libsndfile), capture records out.
#include "import/audio_import.h"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "files/input_wait.h"
#include "files/standard_streams.h"
#include "files/stop_signal.h"
#include "import/raw_pcm_import.h"
#include "import/sample_import.h"
#include "import/sample_source.h"
#include "import/wave_stream.h"

namespace {

// A block holds this many samples of all channels together, so memory stays the same however
// many channels a file announces.
constexpr sf_count_t BlockSamples = 1 << 18;
// Reading a stream, libsndfile may look back a little (to re-read a header); this much of the
// newest input is kept for it.
constexpr std::size_t StreamLookBack = std::size_t{1} << 20;
// A live stream is read in short blocks, so its runs are handed on promptly.
constexpr std::size_t StreamBlockFrames = 1024;

std::string FormatName(int format) {
  SF_FORMAT_INFO info{};
  info.format = format & SF_FORMAT_TYPEMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) {
    return "audio";
  }
  return info.name;
}

// libsndfile reads a cut-off WAV up to where it ends and only notes the shortfall in its log, as
// "data : ANNOUNCED (should be PRESENT)". Streaming writers that could not fill in the size put
// 0 or all ones there; those are not cut off.
std::string TruncationNote(SNDFILE* file) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
  const char* data = std::strstr(log, "data : ");
  unsigned long long announced = 0, present = 0;
  if (data == nullptr ||
      std::sscanf(data, "data : %llu (should be %llu)", &announced, &present) != 2) {
    return {};
  }
  if (announced <= present || announced == 0 || announced >= 0xFFFFFFF0ull) return {};
  return "its data chunk announces " + std::to_string(announced) + " bytes, the file holds " +
         std::to_string(present);
}

// A stream (standard input, a FIFO) as libsndfile's virtual file: read in order, with seeks
// only within the newest StreamLookBack bytes.
class StreamFile {
 public:
  // `start`: bytes already read from the descriptor, which the stream begins with.
  StreamFile(int descriptor, const unsigned char* start, std::size_t size, const WaitHook& waiting)
      : descriptor_(descriptor), kept_(start, start + size), waiting_(waiting) {}

  static sf_count_t Length(void*) { return SF_COUNT_MAX; }

  static sf_count_t Seek(sf_count_t offset, int whence, void* self) {
    auto& stream = *static_cast<StreamFile*>(self);
    sf_count_t target = whence == SEEK_SET   ? offset
                        : whence == SEEK_CUR ? stream.position_ + offset
                                             : -1;
    if (target < stream.base_) return -1;
    stream.position_ = target;
    return target;
  }

  static sf_count_t Read(void* into, sf_count_t count, void* self) {
    auto& stream = *static_cast<StreamFile*>(self);
    auto* out = static_cast<unsigned char*>(into);
    sf_count_t done = 0;
    while (done < count) {
      sf_count_t kept = stream.base_ + static_cast<sf_count_t>(stream.kept_.size());
      if (stream.position_ < kept) {
        auto from = static_cast<std::size_t>(stream.position_ - stream.base_);
        auto part = static_cast<std::size_t>(std::min(count - done, kept - stream.position_));
        std::memcpy(out + done, stream.kept_.data() + from, part);
        done += static_cast<sf_count_t>(part);
        stream.position_ += static_cast<sf_count_t>(part);
        continue;
      }
      // Only what is asked for now is read, so a live stream's audio is not held back.
      if (done > 0 || !stream.Fill(static_cast<std::size_t>(count - done))) break;
    }
    return done;
  }

  static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }

  static sf_count_t Tell(void* self) { return static_cast<StreamFile*>(self)->position_; }

 private:
  // Reads more input (past a seek forward, skipping what lies between). False at its end, or
  // when the wait is called off.
  bool Fill(std::size_t wanted) {
    unsigned char block[1 << 16];
    for (;;) {
      if (!WaitForInput(descriptor_, waiting_)) return false;
      ssize_t got = read(descriptor_, block, std::min(wanted, sizeof block));
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) return false;
      kept_.insert(kept_.end(), block, block + got);
      if (kept_.size() > 2 * StreamLookBack) {
        std::size_t drop = kept_.size() - StreamLookBack;
        kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(drop));
        base_ += static_cast<sf_count_t>(drop);
      }
      if (base_ + static_cast<sf_count_t>(kept_.size()) > position_) return true;
    }
  }

  int descriptor_;
  std::vector<unsigned char> kept_;
  const WaitHook& waiting_;
  sf_count_t base_ = 0;  // where kept_ starts in the stream
  sf_count_t position_ = 0;
};

// libsndfile refuses a header whose sample rate does not fit its numbers (4e9 Hz) as an
// incomplete one; read here, the header says what is wrong. Empty when that is not it.
std::string HeaderRateRefusal(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  unsigned char magic[WaveMagicBytes];
  WaveLayout layout;
  std::string refusal;
  if (std::fread(magic, 1, sizeof magic, file) == sizeof magic && IsWaveContainer(magic) &&
      ReadWaveHeader(
          magic,
          [file](unsigned char* into, std::size_t size) { return std::fread(into, 1, size, file); },
          layout)
          .empty()) {
    refusal = RefuseSampleRate(path, layout.Rate);
  }
  std::fclose(file);
  return refusal;
}

class SoundFileSource : public SampleSource {
 public:
  ~SoundFileSource() override {
    if (file_ != nullptr) sf_close(file_);
  }

  // A file, by name.
  std::string Open(const std::string& path, int channel) {
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    return Opened(path, channel, info, false);
  }

  // A stream whose first bytes, `start`, have been read already.
  std::string OpenStream(const std::string& path, int descriptor, const unsigned char* start,
                         std::size_t size, int channel) {
    SF_INFO info{};
    stream_.emplace(descriptor, start, size, Waiting);
    file_ = sf_open_virtual(&io_, SFM_READ, &info, &*stream_);
    return Opened(path, channel, info, true);
  }
  std::string Opened(const std::string& path, int channel, const SF_INFO& info, bool stream) {
    if (file_ == nullptr && !stream) {
      if (std::string refusal = HeaderRateRefusal(path); !refusal.empty()) return refusal;
    }
    if (file_ == nullptr) {
      return Named(path) + " is not an audio " + (stream ? "stream" : "file") +
             " that can be read (" + sf_strerror(nullptr) + ")";
    }
    Format = FormatName(info.format);
    Rate = info.samplerate;
    Channels = info.channels;
    Live = stream;
    // A stream's header may announce any length (a recorder cannot know it yet).
    AnnouncedFrames = stream ? 0 : info.frames;
    if (!stream) {
      if (std::string note = TruncationNote(file_); !note.empty()) {
        return path + " is truncated: " + note;
      }
      if (info.frames <= 0) return path + " holds an empty recording";
    }
    if (info.samplerate <= 0) return Named(path) + " has no sample rate";
    if (channel < 1 || channel > info.channels) {
      return "channel " + std::to_string(channel) + " does not exist: " + Named(path) + " has " +
             std::to_string(info.channels) +
             (info.channels == 1 ? " channel (1)"
                                 : " channels (1 to " + std::to_string(info.channels) + ")");
    }
    channel_ = channel;
    BlockFrames = stream ? StreamBlockFrames
                         : static_cast<std::size_t>(std::max<sf_count_t>(
                               1, BlockSamples / static_cast<sf_count_t>(info.channels)));
    interleaved_.resize(BlockFrames * static_cast<std::size_t>(info.channels));
    return {};
  }

  long Read(float* mono, std::size_t frames) override {
    frames = std::min(frames, BlockFrames);
    sf_count_t got = sf_readf_float(file_, interleaved_.data(), static_cast<sf_count_t>(frames));
    if (got < 0) return -1;
    for (sf_count_t i = 0; i < got; ++i) {
      mono[i] = interleaved_[static_cast<std::size_t>(i * Channels + channel_ - 1)];
    }
    if (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
    return static_cast<long>(got);
  }

  std::string Error() const override { return sf_strerror(file_); }

 private:
  static std::string Named(const std::string& path) {
    return path == "-" ? "standard input" : path;
  }

  SNDFILE* file_ = nullptr;
  std::optional<StreamFile> stream_;
  SF_VIRTUAL_IO io_ = {StreamFile::Length, StreamFile::Seek, StreamFile::Read, StreamFile::Write,
                       StreamFile::Tell};
  int channel_ = 1;
  std::vector<float> interleaved_;
};

// Reads exactly `size` bytes from a live descriptor, waiting as the hook allows; fewer at the
// end of the input, on an error or when the wait is called off.
std::size_t ReadExactly(int descriptor, unsigned char* into, std::size_t size,
                        const WaitHook& waiting) {
  std::size_t done = 0;
  while (done < size && WaitForInput(descriptor, waiting)) {
    ssize_t got = read(descriptor, into + done, size - done);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

// A stream: WAV, AIFF and Wave64 have their header read here and their samples read as raw
// PCM while they arrive; anything else goes to libsndfile, which reads the rest of the stream.
std::string ImportAudioStream(const ImportRequest& request, ImportSummary& summary) {
  const std::string name = request.Input == "-" ? "standard input" : request.Input;
  if (request.Input == "-" && StandardInputClosed()) return "standard input is closed";
  const int descriptor =
      request.Input == "-" ? STDIN_FILENO : open(request.Input.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return "cannot open " + request.Input + ": " + std::strerror(errno);
  // A stream ends when the user says so, its header included.
  EndInputOnSignal();
  RunSink& sink = *request.Sink;
  const WaitHook waiting = [&sink] { return !StopRequested() && sink.Waiting(); };
  std::string error;
  unsigned char magic[WaveMagicBytes];
  const std::size_t got = ReadExactly(descriptor, magic, sizeof magic, waiting);
  if (got == sizeof magic && IsWaveContainer(magic)) {
    WaveLayout layout;
    error = ReadWaveHeader(
        magic,
        [&](unsigned char* into, std::size_t size) {
          return ReadExactly(descriptor, into, size, waiting);
        },
        layout);
    if (!error.empty() && StopRequested()) {
      error.clear();  // stopped before the samples began: an empty recording, kept as such
    } else if (!error.empty()) {
      error = name + " " + error;
    } else if (std::string refusal = RefuseSampleRate(name, layout.Rate); !refusal.empty()) {
      error = refusal;
    } else if (request.Audio.Channel > layout.Channels) {
      error = "channel " + std::to_string(request.Audio.Channel) + " does not exist: " + name +
              " has " + std::to_string(layout.Channels) + " channel" +
              (layout.Channels == 1 ? "" : "s");
    } else {
      RawPcmSource source(descriptor, layout.RawFormat, static_cast<int>(layout.Rate),
                          layout.Channels, request.Audio.Channel, true, layout.DataBytes);
      source.Format = layout.Container + " (" + layout.RawFormat + ")";
      source.Rate = layout.Rate;
      error = ImportSamples(source, name, request, summary);
    }
  } else {
    SoundFileSource source;
    source.Waiting = waiting;
    error = source.OpenStream(request.Input, descriptor, magic, got, request.Audio.Channel);
    if (error.empty()) error = ImportSamples(source, name, request, summary);
  }
  if (descriptor != STDIN_FILENO) close(descriptor);
  return error;
}

}  // namespace

std::string ImportAudio(const ImportRequest& request, ImportSummary& summary) {
  struct stat status {};
  if (request.Input == "-" ||
      (stat(request.Input.c_str(), &status) == 0 && !S_ISREG(status.st_mode))) {
    return ImportAudioStream(request, summary);
  }
  SoundFileSource source;
  if (std::string error = source.Open(request.Input, request.Audio.Channel); !error.empty()) {
    return error;
  }
  return ImportSamples(source, request.Input, request, summary);
}
