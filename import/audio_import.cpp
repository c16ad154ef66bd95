// Audio file in (through libsndfile), capture records out.
#include "import/audio_import.h"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "import/sample_import.h"
#include "import/sample_source.h"

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
  explicit StreamFile(int descriptor) : descriptor_(descriptor) {}

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
  // Reads more input (past a seek forward, skipping what lies between). False at its end.
  bool Fill(std::size_t wanted) {
    unsigned char block[1 << 16];
    for (;;) {
      ssize_t got = read(descriptor_, block, std::min(wanted, sizeof block));
      if (got < 0 && errno == EINTR) return false;  // a stop signal: the input ends here
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
  sf_count_t base_ = 0;  // where kept_ starts in the stream
  sf_count_t position_ = 0;
};

class SoundFileSource : public SampleSource {
 public:
  ~SoundFileSource() override {
    if (file_ != nullptr) sf_close(file_);
    if (descriptor_ > STDIN_FILENO) close(descriptor_);
  }

  std::string Open(const std::string& path, int channel) {
    SF_INFO info{};
    struct stat status {};
    bool stream = path == "-" || (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode));
    if (stream) {
      descriptor_ = path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (descriptor_ < 0) return "cannot open " + path + ": " + std::strerror(errno);
      stream_.emplace(descriptor_);
      file_ = sf_open_virtual(&io_, SFM_READ, &info, &*stream_);
    } else {
      file_ = sf_open(path.c_str(), SFM_READ, &info);
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
  int descriptor_ = -1;
  std::optional<StreamFile> stream_;
  SF_VIRTUAL_IO io_ = {StreamFile::Length, StreamFile::Seek, StreamFile::Read, StreamFile::Write,
                       StreamFile::Tell};
  int channel_ = 1;
  std::vector<float> interleaved_;
};

}  // namespace

std::string ImportAudio(const ImportRequest& request, ImportSummary& summary) {
  SoundFileSource source;
  if (std::string error = source.Open(request.Input, request.Audio.Channel); !error.empty()) {
    return error;
  }
  return ImportSamples(source, request.Input == "-" ? "standard input" : request.Input, request,
                       summary);
}
