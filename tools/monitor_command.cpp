// MorvantisCapture monitor: a capture (a file, standard input) or a sound card in; the eight
// channels as they move out, full-screen on a terminal (ncurses), or as a plain status line per
// second of signal when standard output is not one.
//
//   capture file / -  ----------------------------------------> decode session -> screen
//   --device NAME  -> import (its own thread) -> pipe (capture) -^
#include "tools/monitor_command.h"

#include <curses.h>
#include <unistd.h>

#include <sys/stat.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "common/signal_layout.h"
#include "files/stop_signal.h"
#include "import/device_import.h"
#include "study/channel_watch.h"
#include "tools/command_support.h"
#include "tools/import_command.h"

namespace {

constexpr const char* Command = "monitor";
// The screen is drawn at most this often, whatever the input's pace.
constexpr auto DrawEvery = std::chrono::milliseconds(33);
// A channel not refreshed for this long (signal time) is shown dimmed.
constexpr double StaleMs = 500;
constexpr int LargestPosition = 1023;

struct MonitorOptions {
  std::string source;
  double speed = 1;
  std::optional<double> threshold;
  ImportRequest request;
};

// What the sound card's input looked like lately, written by the import's thread.
struct InputLevels {
  std::atomic<float> peak{0};  // over the last second or so
  std::atomic<std::uint64_t> clippedRecently{0};
  std::atomic<std::uint64_t> clipped{0};
  std::atomic<double> unitsPerCell{0};
};

std::string SignalTime(double ms) {
  const auto total = static_cast<std::int64_t>(std::fmax(0, ms));
  char text[48];
  if (total >= 3600000) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(total / 3600000),
                  static_cast<long long>(total / 60000 % 60),
                  static_cast<long long>(total / 1000 % 60), static_cast<long long>(total % 1000));
  } else {
    std::snprintf(text, sizeof text, "%02lld:%02lld.%03lld", static_cast<long long>(total / 60000),
                  static_cast<long long>(total / 1000 % 60), static_cast<long long>(total % 1000));
  }
  return text;
}

// The full-screen view. Keys come from the terminal itself, so standard input stays free for
// a capture stream.
class Screen {
 public:
  bool Open() {
    keys_ = std::fopen("/dev/tty", "r");
    screen_ = newterm(nullptr, stdout, keys_ != nullptr ? keys_ : stdin);
    if (screen_ == nullptr) return false;
    cbreak();
    noecho();
    nodelay(stdscr, TRUE);
    keypad(stdscr, TRUE);
    curs_set(0);
    if (has_colors()) {
      start_color();
      use_default_colors();
      init_pair(1, COLOR_GREEN, -1);
      init_pair(2, COLOR_RED, -1);
    }
    return true;
  }
  ~Screen() {
    if (screen_ != nullptr) {
      endwin();
      delscreen(screen_);
    }
    if (keys_ != nullptr) std::fclose(keys_);
  }
  // Reads the keys pressed; true when one of them asks to quit.
  bool QuitPressed() {
    for (int key = getch(); key != ERR; key = getch()) {
      if (key == 'q' || key == 'Q') return true;
      if (key == KEY_RESIZE) clear();
    }
    return false;
  }

 private:
  SCREEN* screen_ = nullptr;
  std::FILE* keys_ = nullptr;
};

class MonitorSession : public ChannelWatch {
 public:
  MonitorSession(std::string name, Screen* screen, double speed, bool paced,
                 const InputLevels* levels)
      : name_(std::move(name)),
        screen_(screen),
        speed_(speed),
        paced_(paced && speed > 0),
        levels_(levels),
        start_(std::chrono::steady_clock::now()) {}

  void OnFrame(const DecodedFrame& frame) override {
    ChannelWatch::OnFrame(frame);
    Pace(frame.EndMs);
    Show(false);
  }
  void OnLostFrame(double ms, FrameLoss why) override {
    ChannelWatch::OnLostFrame(ms, why);
    Show(false);
  }
  void OnIdle() override { Show(false); }
  bool WantsMore() override { return !quit_ && !StopRequested(); }

  // The input has ended: the last state stays on screen until q (or a stop signal); the plain
  // view prints its last line.
  void End(const std::string& ending) {
    ending_ = ending;
    if (screen_ == nullptr) {
      std::printf("%s\n", StatusLine(SignalMs()).c_str());
      std::fflush(stdout);
      return;
    }
    while (!quit_ && !StopRequested()) {
      Draw();
      quit_ = screen_->QuitPressed();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  bool Quit() const { return quit_; }

 private:
  // A file plays at its own pace (times the speed): wait, drawing and reading keys, until the
  // frame's time has come.
  void Pace(double ms) {
    if (!paced_) return;
    const auto due = start_ + std::chrono::microseconds(
                                  static_cast<std::int64_t>(std::fmin(ms / speed_ * 1000, 1e15)));
    while (!quit_ && !StopRequested()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= due) return;
      Show(false);
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(due - now, DrawEvery));
    }
  }

  void Show(bool now) {
    if (screen_ == nullptr) {
      // The plain view: a line per second of signal.
      const auto second = static_cast<std::int64_t>(FrameEndMs() / 1000);
      if (second > lastSecondPrinted_) {
        lastSecondPrinted_ = second;
        std::printf("%s\n", StatusLine(FrameEndMs()).c_str());
        std::fflush(stdout);
      }
      return;
    }
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - lastDraw_ < DrawEvery) return;
    lastDraw_ = time;
    if (screen_->QuitPressed()) quit_ = true;
    Draw();
  }

  void Draw() {
    erase();
    const int width = COLS;
    mvprintw(0, 0, "Morvantis monitor: %s", name_.c_str());
    if (width > 10) mvprintw(0, width - 9, "q: quit");
    const int barWidth = std::max(0, width - 30);
    const double nowMs = FrameEndMs();
    for (int c = 1; c <= 8; ++c) {
      const WatchedChannel& channel = Channel(c);
      const int row = 1 + c;
      const bool stale = channel.PositionMs < 0 || nowMs - channel.PositionMs > StaleMs;
      if (stale) attron(A_DIM);
      if (channel.Position < 0) {
        mvprintw(row, 0, "ch%d     -", c);
      } else {
        mvprintw(row, 0, "ch%d  %4d ", c, channel.Position);
        const int filled = channel.Position * barWidth / LargestPosition;
        if (has_colors()) attron(COLOR_PAIR(1));
        addch('[');
        for (int i = 0; i < barWidth; ++i) addch(i < filled ? '#' : ' ');
        addch(']');
        if (has_colors()) attroff(COLOR_PAIR(1));
      }
      if (stale) attroff(A_DIM);
      if (channel.Delta >= 0) {
        const bool fresh = nowMs - channel.DeltaMs <= StaleMs;
        if (!fresh) attron(A_DIM);
        const int unchanged = static_cast<int>(UnchangedDelta);
        const char* way = channel.Delta < unchanged ? "D" : channel.Delta == unchanged ? "-" : "U";
        mvprintw(row, std::max(0, width - 14), "delta %2d %s", channel.Delta, way);
        if (!fresh) attroff(A_DIM);
      }
    }
    const FrameCounts second = LastSecond(), total = Total();
    mvprintw(
        11, 0,
        "frames/s %3llu   lost in the last second %llu (%.1f%%)   in all %llu of %llu (%.1f%%)",
        static_cast<unsigned long long>(second.Frames + second.Lost),
        static_cast<unsigned long long>(second.Lost), second.LostPercent(),
        static_cast<unsigned long long>(total.Lost),
        static_cast<unsigned long long>(total.Frames + total.Lost), total.LostPercent());
    double cell = HasTiming() ? MeasuredUnitsPerCell() : UnitsPerCell;
    if (levels_ != nullptr && levels_->unitsPerCell.load() > 0) cell = levels_->unitsPerCell.load();
    mvprintw(12, 0, "signal %s   cell %.3f units (nominal 6.623, %+.2f%%)",
             SignalTime(ending_.empty() ? FrameEndMs() : SignalMs()).c_str(), cell,
             (cell / UnitsPerCell - 1) * 100);
    if (levels_ != nullptr) {
      const bool clipping = levels_->clippedRecently.load() > 0;
      mvprintw(13, 0, "input peak %.2f   clipped samples %llu ", levels_->peak.load(),
               static_cast<unsigned long long>(levels_->clipped.load()));
      if (clipping) {
        if (has_colors()) attron(COLOR_PAIR(2));
        attron(A_BOLD);
        printw("CLIPPING");
        attroff(A_BOLD);
        if (has_colors()) attroff(COLOR_PAIR(2));
      }
    }
    if (!ending_.empty()) mvprintw(15, 0, "%s; q quits", ending_.c_str());
    refresh();
  }

  std::string name_;
  Screen* screen_;
  double speed_;
  bool paced_;
  const InputLevels* levels_;
  std::chrono::steady_clock::time_point start_, lastDraw_{};
  std::int64_t lastSecondPrinted_ = 0;
  bool quit_ = false;
  std::string ending_;
};

int RunMonitor(MonitorOptions options) {
  ImportRequest& request = options.request;
  const bool device = !request.Audio.Device.empty();
  if (device == !options.source.empty()) {
    return Fail(Command, device ? "give a capture or --device, not both"
                                : "give a capture (a file, or - for standard input) or --device");
  }
  bool regularFile = false;
  if (!device && options.source != "-") {
    struct stat info {};
    if (stat(options.source.c_str(), &info) != 0)
      return Fail(Command, "cannot open " + options.source + ": no such file");
    if (S_ISDIR(info.st_mode)) return Fail(Command, options.source + " is a directory");
    regularFile = S_ISREG(info.st_mode);
  }
  // Nothing is written: a stop signal, like q, simply ends the watching.
  EndInputOnSignal();

  std::unique_ptr<Screen> screen;
  if (isatty(STDOUT_FILENO)) {
    screen = std::make_unique<Screen>();
    if (!screen->Open()) return Fail(Command, "cannot use this terminal (is TERM set?)");
  }
  const std::string name = device                  ? request.Audio.Device
                           : options.source == "-" ? "standard input"
                                                   : options.source;
  InputLevels levels;
  MonitorSession session(name, screen.get(), options.speed, regularFile,
                         device ? &levels : nullptr);

  std::string error, importError;
  if (!device) {
    error = DecodeCaptureFile(options.source, session);
  } else {
    // The import runs beside the decoder and hands it the capture through a pipe.
    int ends[2];
    if (pipe(ends) != 0) return Fail(Command, "cannot make a pipe");
    std::FILE* toDecoder = fdopen(ends[1], "wb");
    request.Output = toDecoder;
    request.HandOnEachBlock = true;
    request.Audio.Receiver.FixedThreshold = options.threshold;
    auto lastPeak = std::chrono::steady_clock::now();
    request.Levels = [&levels, &lastPeak](const BlockLevels& block) {
      const auto now = std::chrono::steady_clock::now();
      if (now - lastPeak > std::chrono::seconds(1)) {
        levels.peak = 0;
        levels.clippedRecently = 0;
        lastPeak = now;
      }
      if (block.Peak > levels.peak.load()) levels.peak = block.Peak;
      levels.clippedRecently += block.Clipped;
      levels.clipped += block.Clipped;
      levels.unitsPerCell = block.UnitsPerCell;
    };
    ImportSummary summary;
    std::thread importer([&] {
      importError = ImportDevice(request, summary);
      std::fclose(toDecoder);
    });
    error = DecodeCaptureFile("/dev/fd/" + std::to_string(ends[0]), session);
    // Quit (or failed) before the device ended: stop the import as a stop signal would, and
    // read what it still writes, so it can finish.
    if (session.Quit() || !error.empty()) std::raise(SIGTERM);
    char drain[4096];
    while (read(ends[0], drain, sizeof drain) > 0) {
    }
    importer.join();
    close(ends[0]);
  }
  if (error.empty()) error = importError;
  if (!error.empty()) {
    screen.reset();
    return Fail(Command, error);
  }
  if (!session.Quit()) session.End("end of input");
  screen.reset();
  return ExitOk;
}

}  // namespace

void AddMonitorCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<MonitorOptions>();
  CLI::App* command = app.add_subcommand(
      "monitor", "Watch the eight channels live, from a capture or a sound card");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture monitor recording.cap\n"
      "  MorvantisCapture import --device plughw:1 -o - | MorvantisCapture monitor -\n"
      "  MorvantisCapture monitor --device plughw:1\n"
      "\n"
      "On a terminal: one row per channel (position and bar; the latest delta, D down, - \n"
      "unchanged, U up), dimmed when not refreshed lately; frames per second and losses; the\n"
      "signal time and cell length; a sound card's input level. q or Ctrl-C quits. Otherwise\n"
      "a plain status line per second of signal, and one at the end.");
  command->add_option("source", options->source, "Capture file, or - for standard input");
  command
      ->add_option("--speed", options->speed,
                   "Play a capture file at this many times its pace; 0: as fast as it decodes "
                   "(default 1)")
      ->check(NumberIn(0, 1000));
  AddReceiverOptions(command, options->request, options->threshold);
  command->callback([options, &exitCode] { exitCode = RunMonitor(*options); });
}
