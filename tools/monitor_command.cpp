// MorvantisCapture monitor: a signal in (a capture file or stream, an audio file, raw samples, a
// sound card); the eight channels as they move out, full-screen on a terminal (ncurses), or as
// a plain status line per second of signal when standard output is not one.
//
//   source -> (receiver) -> decode session -> channel watch -> screen
//                                           \-> joystick (--joystick), from the same decode
//
// Everything runs in one thread: the source waits for input in short slices, and between them
// the screen is drawn and the keys are read, so q, Ctrl-C, SIGTERM and SIGHUP end it at any
// moment, and a signal that stops (silence, or an input that delivers nothing) shows as NO
// SIGNAL.
#include "tools/monitor_command.h"

#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "common/signal_layout.h"
#include "files/stop_signal.h"
#include "joystick/joystick_feed.h"
#include "joystick/joystick_options.h"
#include "sources/signal_source.h"
#include "study/channel_watch.h"
#include "study/decode_fan_out.h"
#include "study/playback_clock.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "monitor";
// The screen is drawn at most this often, whatever the input's pace.
constexpr auto DrawEvery = std::chrono::milliseconds(33);
// A channel not refreshed for this long (signal time) is shown dimmed.
constexpr double StaleMs = 500;
constexpr int LargestPosition = 1023;

// While a file plays, a joystick flown beside the screen is given the time this often.
constexpr auto JoystickTickEvery = std::chrono::milliseconds(5);

struct MonitorOptions {
  SourceOptions source;
  double speed = 1;
  bool joystick = false;
  JoystickOptions flight;
  std::string units = "raw";
  std::string eccFile;  // the groups' check code
};

// The joystick flown beside the screen, as the screen shows it.
struct JoystickView {
  const UinputJoystick* Device;
  JoystickFeed* Feed;
  std::string Layout;  // the mapping, the failsafe and the calibration in a few words
};

// What a sound card's input looked like lately, from the receiver's reports after each block.
struct InputLevels {
  float peak = 0;  // over the last second or so
  std::uint64_t clippedRecently = 0;
  std::uint64_t clipped = 0;
  std::uint64_t overruns = 0;
  double unitsPerCell = 0;
  std::chrono::steady_clock::time_point since{};
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
                 const InputLevels* levels, const JoystickView* joystick)
      : name_(std::move(name)),
        screen_(screen),
        clock_(paced ? speed : 0),
        levels_(levels),
        joystick_(joystick) {}

  // Each event first waits for its moment (a file plays at its own pace), then takes effect:
  // what shows at a moment is what the signal had carried by then.
  void OnSync(double ms) override {
    if (Reached(ms)) ChannelWatch::OnSync(ms);
  }
  void OnFrame(const DecodedFrame& frame) override {
    if (!Reached(frame.EndMs)) return;
    ChannelWatch::OnFrame(frame);
    present_ = true;
    Show(false);
  }
  void OnLostFrame(double ms, FrameLoss why) override {
    if (!Reached(ms)) return;
    ChannelWatch::OnLostFrame(ms, why);
    Show(false);
  }
  void OnDoubtfulFrame(const DecodedFrame& frame, FrameDoubt why) override {
    if (!Reached(frame.EndMs)) return;
    ChannelWatch::OnDoubtfulFrame(frame, why);
    Show(false);
  }
  void OnSignalLost(double ms, SignalLoss why) override {
    if (!Reached(ms)) return;
    present_ = false;
    Plain(ms, why == SignalLoss::Stalled ? "NO SIGNAL: the input has stalled (nothing arrives)"
                                         : "NO SIGNAL: no valid frame");
    Show(true);
  }
  void OnSignalBack(double ms) override {
    if (Reached(ms)) Plain(ms, "signal back");
  }
  void OnIdle() override { Show(false); }
  bool WantsMore() override { return !quit_ && !StopRequested(); }

  // The input has ended: the last state stays on screen until q (or a stop signal); the plain
  // view prints its last line.
  void End(const std::string& ending) {
    ending_ = ending;
    ended_ = true;
    if (screen_ == nullptr) {
      std::printf("%s\n", StatusLine(Stopped() ? pacedMs_ : SignalMs()).c_str());
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
  // A file stopped while it played: what was read beyond the moment it had come to was never
  // played, and is not shown.
  bool Stopped() const { return clock_.Paced() && StopRequested(); }

  // Waits until the moment `ms` has come; false when the file was stopped first.
  bool Reached(double ms) {
    if (Stopped()) return false;
    Pace(ms);
    return !Stopped();
  }

  // Signal time now: where the playing of a file has come to, or how far a live input has.
  double NowMs() const {
    if (ended_) return SignalMs();
    if (clock_.Paced()) return pacedMs_;
    return Session != nullptr ? Session->NowMs() : FrameEndMs();
  }

  // A file plays at its own pace (times the speed): wait, drawing and reading keys, until the
  // moment `ms` has come.
  void Pace(double ms) {
    if (!clock_.Paced()) return;
    const auto due = clock_.Due(ms);
    while (!quit_ && !StopRequested()) {
      const auto now = PlaybackClock::Clock::now();
      pacedMs_ = std::fmin(ms, clock_.SignalNow());
      // The joystick's failsafe keeps its own time while the screen waits for the file's.
      if (joystick_ != nullptr) joystick_->Feed->TimeReached(pacedMs_);
      if (now >= due) break;
      Show(false);
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          due - now, joystick_ != nullptr ? JoystickTickEvery : DrawEvery));
    }
    pacedMs_ = std::fmax(pacedMs_, ms);
  }

  // The plain view's line for an event.
  void Plain(double ms, const char* what) {
    if (screen_ != nullptr) return;
    std::printf("%9.3f s  %s\n", ms / 1000, what);
    std::fflush(stdout);
  }

  bool SignalPresent() const { return present_ && !(Session != nullptr && Session->Stalled()); }

  void Show(bool now) {
    if (screen_ == nullptr) {
      // The plain view: a line per second of signal.
      const double ms = NowMs();
      const auto second = static_cast<std::int64_t>(ms / 1000);
      if (second > lastSecondPrinted_) {
        lastSecondPrinted_ = second;
        std::printf("%s%s\n", StatusLine(ms).c_str(), SignalPresent() ? "" : "  NO SIGNAL");
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

  // A line of text at `row`, cut at the screen's edge (never wrapped onto the next row).
  static void Put(int row, const std::string& text) {
    mvaddnstr(row, 0, text.c_str(), std::max(0, COLS));
  }

  // The screen, laid out to fit: the title and the eight channels always show; below them, as
  // far as there is room, the signal's state, the frames, the time and cell length, the
  // input's level and the ending, in that order; blank lines only where there is room to spare.
  void Draw() {
    erase();
    const int width = COLS, height = LINES;
    const double nowMs = NowMs();
    const bool present = SignalPresent() || (ended_ && present_);
    const bool roomy = height >= 17;
    std::string title = "Morvantis monitor: " + name_;
    if (width > 24) {
      title.resize(std::min<std::size_t>(title.size(), static_cast<std::size_t>(width - 10)));
      mvprintw(0, width - 9, "q: quit");
    }
    Put(0, title);
    int row = 1;
    if (!present && height >= 10) {
      const bool stalled = Session != nullptr && Session->Stalled();
      if (has_colors()) attron(COLOR_PAIR(2));
      attron(A_BOLD | A_REVERSE);
      Put(row, " NO SIGNAL ");
      attroff(A_BOLD | A_REVERSE);
      if (has_colors()) attroff(COLOR_PAIR(2));
      const std::string why = stalled ? " the input has stalled: nothing arrives"
                              : FrameEndMs() > 0
                                  ? " no valid frame since " + SignalTime(FrameEndMs())
                                  : " waiting for the first frame";
      mvaddnstr(row, 11, why.c_str(), std::max(0, width - 11));
    } else if (!present) {
      Put(0, "NO SIGNAL  " + title);
    }
    if (!present ? height >= 10 : height >= 11) ++row;  // the state's line, or a blank one
    const int barWidth = std::max(0, width - (ShowsPercent() ? 36 : 30));
    for (int c = 1; c <= 8; ++c, ++row) {
      const WatchedChannel& channel = Channel(c);
      const bool stale = !present || channel.PositionMs < 0 || nowMs - channel.PositionMs > StaleMs;
      if (stale) attron(A_DIM);
      if (channel.Position < 0) {
        Put(row, "ch" + std::to_string(c) + "     -");
      } else {
        char value[32];
        const std::optional<int> percent = Percent(c);
        if (percent) {
          std::snprintf(value, sizeof value, "ch%d  %4d %+4d%% ", c, channel.Position,
                        RoundedPercent(*percent));
        } else {
          std::snprintf(value, sizeof value, ShowsPercent() ? "ch%d  %4d       " : "ch%d  %4d ", c,
                        channel.Position);
        }
        Put(row, value);
        if (width >= (ShowsPercent() ? 36 : 30)) {
          const int filled = channel.Position * barWidth / LargestPosition;
          if (has_colors() && !stale) attron(COLOR_PAIR(1));
          addch('[');
          for (int i = 0; i < barWidth; ++i) addch(i < filled ? '#' : ' ');
          addch(']');
          if (has_colors() && !stale) attroff(COLOR_PAIR(1));
        }
      }
      if (stale) attroff(A_DIM);
      if (channel.Delta >= 0 && width >= 24) {
        const bool fresh = present && nowMs - channel.DeltaMs <= StaleMs;
        if (!fresh) attron(A_DIM);
        const int unchanged = static_cast<int>(UnchangedDelta);
        const char* way = channel.Delta < unchanged ? "D" : channel.Delta == unchanged ? "-" : "U";
        mvprintw(row, width - 14 >= 16 ? width - 14 : 11, "delta %2d %s", channel.Delta, way);
        if (!fresh) attroff(A_DIM);
      }
    }
    if (roomy) ++row;
    if (joystick_ != nullptr && row < height) {
      const std::string node = joystick_->Device->Node();
      Put(row++, "joystick " + (node.empty() ? std::string("(away)") : node) + "  " +
                     joystick_->Feed->FailsafeState().StateName() + "  " + joystick_->Layout);
    }
    // A stalled input has no signal time to count in: nothing comes, so nothing per second.
    const FrameCounts second =
        Session != nullptr && Session->Stalled() ? FrameCounts{} : LastSecond(nowMs);
    const FrameCounts total = Total();
    char text[256];
    const bool wide = width >= 90;
    std::snprintf(text, sizeof text,
                  wide ? "frames/s %3llu   lost in the last second %llu (%.1f%%)   in all %llu of "
                         "%llu (%.1f%%)"
                       : "frames/s %llu  lost %llu (%.1f%%), in all %llu of %llu (%.1f%%)",
                  static_cast<unsigned long long>(second.Frames + second.Lost),
                  static_cast<unsigned long long>(second.Lost), second.LostPercent(),
                  static_cast<unsigned long long>(total.Lost),
                  static_cast<unsigned long long>(total.Frames + total.Lost), total.LostPercent());
    if (total.Doubtful > 0) {
      const std::size_t used = std::strlen(text);
      std::snprintf(text + used, sizeof text - used, ", %llu doubtful",
                    static_cast<unsigned long long>(total.Doubtful));
    }
    if (row < height) Put(row++, text);
    double cell = HasTiming() ? MeasuredUnitsPerCell() : UnitsPerCell;
    if (levels_ != nullptr && levels_->unitsPerCell > 0) cell = levels_->unitsPerCell;
    std::snprintf(text, sizeof text,
                  wide ? "signal %s   cell %.3f units (nominal 6.623, %+.2f%%)"
                       : "signal %s  cell %.3f (%+.2f%%)",
                  SignalTime(nowMs).c_str(), cell, (cell / UnitsPerCell - 1) * 100);
    if (row < height) Put(row++, text);
    if (levels_ != nullptr && levels_->since != std::chrono::steady_clock::time_point{} &&
        row < height) {
      std::snprintf(text, sizeof text,
                    wide ? "input peak %.2f   clipped samples %llu   overruns %llu "
                         : "peak %.2f  clipped %llu  overruns %llu ",
                    levels_->peak, static_cast<unsigned long long>(levels_->clipped),
                    static_cast<unsigned long long>(levels_->overruns));
      Put(row, text);
      if (levels_->clippedRecently > 0 && static_cast<int>(std::strlen(text)) + 8 <= width) {
        if (has_colors()) attron(COLOR_PAIR(2));
        attron(A_BOLD);
        printw("CLIPPING");
        attroff(A_BOLD);
        if (has_colors()) attroff(COLOR_PAIR(2));
      }
      ++row;
    }
    if (roomy) ++row;
    if (!ending_.empty() && row < height) Put(row, ending_ + "; q quits");
    refresh();
  }

  std::string name_;
  Screen* screen_;
  PlaybackClock clock_;
  const InputLevels* levels_;
  const JoystickView* joystick_;
  std::chrono::steady_clock::time_point lastDraw_{};
  std::int64_t lastSecondPrinted_ = 0;
  double pacedMs_ = 0;    // where the playing of a file has come to
  bool present_ = false;  // a frame has come and the signal has not been lost since
  bool quit_ = false;
  bool ended_ = false;
  std::string ending_;
};

int RunMonitor(MonitorOptions options) {
  SourceOptions& source = options.source;
  if (std::string error = CheckSource(Command, source); !error.empty()) {
    return Usage(Command, error);
  }
  JoystickLayout layout;
  FailsafePlan plan;
  if (options.joystick) {
    if (std::string error = ReadJoystickOptions(options.flight, layout, plan); !error.empty()) {
      return Usage(Command, error);
    }
  }
  Calibration calibration;
  std::string calibrationPath;
  const bool percent = options.units == "percent";
  if (std::string error =
          percent
              ? LoadNeededCalibration(options.flight.CalibrationPath, calibration, calibrationPath)
          : options.joystick ? LoadCalibration(options.flight, calibration, calibrationPath)
                             : std::string();
      !error.empty()) {
    return Fail(Command, error);
  }
  // Its lines go to standard output, which must be there (a closed one is no place for them).
  if (std::string error =
          RefuseWritingOverInputs(source, {options.eccFile, calibrationPath}, {"-"});
      !error.empty()) {
    return Fail(Command, error);
  }
  if (std::string error = UseEccCode(options.eccFile, source); !error.empty()) {
    return Fail(Command, error);
  }
  // Nothing is written: a stop signal, like q, simply ends the watching.
  EndInputOnSignal();

  // The joystick is made before the screen takes the terminal, so its errors read plainly.
  const bool paced = SourceIsFile(source);
  UinputJoystick device;
  const PlaybackClock flightClock(paced ? options.speed : 0);
  std::optional<JoystickFeed> feed;
  std::optional<JoystickView> view;
  if (options.joystick) {
    feed.emplace(device, layout, calibration, plan, &flightClock);
    if (std::string error = feed->Start(); !error.empty()) return Fail(Command, error);
    const std::string flight = DescribeFlight(device.Node(), layout, plan, calibrationPath);
    Note(Command, "joystick " + flight);
    view = JoystickView{&device, &*feed, flight.substr(flight.find(' ') + 1)};
  }

  std::unique_ptr<Screen> screen;
  if (isatty(STDOUT_FILENO)) {
    screen = std::make_unique<Screen>();
    if (!screen->Open()) return Fail(Command, "cannot use this terminal (is TERM set?)");
  }
  InputLevels levels;
  MonitorSession session(SourceName(source), screen.get(), options.speed, paced, &levels,
                         view ? &*view : nullptr);
  if (percent) session.ShowPercent(CalibratedTenthsOf(calibration));
  SourceReport report;
  report.Levels = [&levels](const BlockLevels& block) {
    const auto now = std::chrono::steady_clock::now();
    if (now - levels.since > std::chrono::seconds(1)) {
      levels.peak = 0;
      levels.clippedRecently = 0;
      levels.since = now;
    }
    levels.peak = std::max(levels.peak, block.Peak);
    levels.clippedRecently += block.Clipped;
    levels.clipped += block.Clipped;
    levels.overruns = block.Overruns;
    levels.unitsPerCell = block.UnitsPerCell;
  };
  // A file's pace is kept by the screen, which gives the joystick its time as it waits; a live
  // input's frames reach the joystick first, the screen after.
  std::string error;
  if (!feed) {
    error = PlaySource(source, session, report);
  } else if (paced) {
    DecodeFanOut both(session, *feed);
    error = PlaySource(source, both, report);
  } else {
    DecodeFanOut both(*feed, session);
    error = PlaySource(source, both, report);
  }
  if (error.empty() && feed) error = feed->Error();
  if (error.empty() && feed && !session.Quit() && !StopRequested()) {
    // The input's end is the signal's: the failsafe acts.
    feed->Finish(source.Session.SignalLostMs);
    error = feed->Error();
  }
  if (!error.empty()) {
    screen.reset();
    return Fail(Command, error);
  }
  if (!session.Quit()) session.End(StopRequested() ? "stopped" : "end of input");
  screen.reset();
  Note(Command, ReceivedSummary(source, report));
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
      "  MorvantisCapture monitor recording.wav\n"
      "  MorvantisCapture monitor --device plughw:1\n"
      "  arecord -f S16_LE -r 44100 -t raw | MorvantisCapture monitor - --raw s16le\n"
      "  MorvantisCapture monitor --device plughw:1 --joystick --units percent\n"
      "\n"
      "On a terminal: one row per channel (position and bar; the latest delta, D down, - \n"
      "unchanged, U up; with --units percent, the percent of its calibrated travel), dimmed\n"
      "when not refreshed lately; with --joystick, the joystick's node, failsafe state and\n"
      "mapping; frames per second and losses; the signal time and cell length; a sound card's\n"
      "input level. NO SIGNAL when no valid frame came for --signal-lost-ms of signal time, or\n"
      "nothing at all arrives. q or Ctrl-C quits.\n"
      "Otherwise a plain status line per second of signal, a line when the signal is lost and\n"
      "when it is back, and one at the end.");
  AddSpeedOption(command, options->speed);
  AddSourceOptions(command, options->source);
  AddUnitsOption(command, options->units);
  AddEccCodeOption(command, options->eccFile);
  command->add_flag("--joystick", options->joystick,
                    "Fly a virtual joystick from the same decode (as the joystick command does, "
                    "with its options below); the screen shows its device, failsafe and mapping");
  AddJoystickOptions(command, options->flight);
  command->callback([options, command, &exitCode] {
    for (const char* flightOnly : {"--map", "--reverse", "--button", "--name", "--failsafe",
                                   "--failsafe-ms", "--failsafe-low"}) {
      if (!options->joystick && command->count(flightOnly) > 0) {
        exitCode = Usage(Command, std::string(flightOnly) + " is for the joystick: add --joystick");
        return;
      }
    }
    exitCode = RunMonitor(*options);
  });
}
