// VCD or time,level CSV text in, capture records out.
#include "import/logic_import.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "common/signal_layout.h"
#include "files/text_lines.h"
#include "import/edge_timeline.h"

namespace {

// Limits that keep memory bounded whatever the file holds; real traces stay far below them.
constexpr std::size_t LongestToken = 65536;  // a vector value of 64 Ki bits
constexpr std::size_t MostBodyTokens = 16;   // of a $timescale, $scope or $var
constexpr std::size_t DeepestScope = 64;
constexpr std::size_t LongestSignalName = 4096;
constexpr std::size_t MostSignals = 100000;
constexpr std::size_t SignalsListed = 20;  // in a message that lists the file's signals
constexpr double LargestTimescaleNumber = 1e9;
constexpr std::size_t LongestCsvLine = 4096;

// Whitespace-separated tokens with the line each starts on.
class Tokens {
 public:
  explicit Tokens(std::istream& in) : in_(in) {}

  // The next token; false at the end of the input or once a token is too long (TooLong()).
  bool Next(std::string& token) {
    token.clear();
    std::streambuf* buffer = in_.rdbuf();
    int c;
    while ((c = buffer->sbumpc()) != EOF && std::isspace(c)) {
      if (c == '\n') ++line_;
    }
    if (c == EOF) return false;
    tokenLine_ = line_;
    do {
      if (token.size() == LongestToken) {
        tooLong_ = true;
        return false;
      }
      token.push_back(static_cast<char>(c));
    } while ((c = buffer->sbumpc()) != EOF && !std::isspace(c));
    if (c == '\n') ++line_;
    return true;
  }

  std::size_t Line() const { return tokenLine_; }
  bool TooLong() const { return tooLong_; }

 private:
  std::istream& in_;
  std::size_t line_ = 1;
  std::size_t tokenLine_ = 1;
  bool tooLong_ = false;
};

// A timescale such as "10ns" or "1 us" in seconds; nothing for one that is unknown, zero or out
// of range.
std::optional<double> TimescaleSeconds(const std::string& text) {
  std::size_t digits = text.find_first_not_of("0123456789.");
  if (digits == 0 || digits == std::string::npos) return std::nullopt;
  double number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + digits, number);
  if (error != std::errc{} || end != text.data() + digits || !(number > 0) ||
      number > LargestTimescaleNumber) {
    return std::nullopt;
  }
  const std::map<std::string, double> units = {{"s", 1},     {"ms", 1e-3},  {"us", 1e-6},
                                               {"ns", 1e-9}, {"ps", 1e-12}, {"fs", 1e-15}};
  auto unit = units.find(text.substr(digits));
  if (unit == units.end()) return std::nullopt;
  return number * unit->second;
}

std::string SignalList(const std::vector<std::string>& names) {
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < SignalsListed; ++i) list += " " + names[i];
  if (names.size() > SignalsListed)
    list += " (and " + std::to_string(names.size() - SignalsListed) + " more)";
  return list;
}

// Follows one signal's level and writes a run at each change.
class LevelChanges {
 public:
  LevelChanges(RunSink& sink, double unitsPerTick) : timeline_(sink, unitsPerTick) {}

  void Set(double tick, bool level) {
    if (!level_) {
      level_ = level;
      return;
    }
    if (level != *level_) timeline_.AddEdge(tick);
    level_ = level;
  }

  bool Started() const { return level_.has_value(); }
  const EdgeTimeline& Timeline() const { return timeline_; }
  void Close(double tick) { timeline_.Close(tick); }

 private:
  EdgeTimeline timeline_;
  std::optional<bool> level_;
};

std::string Where(const std::string& name, std::size_t line) {
  return name + ":" + std::to_string(line) + ": ";
}

void Summarise(const EdgeTimeline& timeline, const char* format, double seconds,
               ImportSummary& summary) {
  summary.Format = format;
  summary.Seconds = seconds;
  summary.HighLevel = 1;
  summary.LowLevel = 0;
  summary.Runs = timeline.RunsWritten();
  summary.RunsClamped = timeline.RunsClamped();
  summary.Fit = timeline.Fit();
}

}  // namespace

std::string ImportVcd(std::istream& in, const std::string& name, const ImportRequest& request,
                      ImportSummary& summary) {
  const LogicImportOptions& options = request.Logic;
  Tokens tokens(in);
  std::string token;
  double tickSeconds = 1e-9;  // a VCD without $timescale is read in nanoseconds
  std::vector<std::string> scopes;
  std::map<std::string, std::string> signalIds;  // full name -> identifier code
  std::vector<std::string> signalNames;

  // Header: everything up to $enddefinitions.
  bool definitionsEnded = false;
  auto tooLong = [&] {
    return Where(name, tokens.Line()) + "a token is longer than " + std::to_string(LongestToken) +
           " characters";
  };
  while (!definitionsEnded && tokens.Next(token)) {
    std::size_t line = tokens.Line();
    std::vector<std::string> body;
    if (token.empty() || token[0] != '$') {
      return Where(name, line) + "not a VCD file (expected a $ keyword, found " +
             QuotedForMessage(token) + ")";
    }
    std::string keyword = token;
    // Only these keywords' words are kept, and only the first few; a $comment is skipped.
    bool keep = keyword == "$timescale" || keyword == "$scope" || keyword == "$var";
    while (tokens.Next(token) && token != "$end") {
      if (keep && body.size() < MostBodyTokens) body.push_back(token);
    }
    if (tokens.TooLong()) return tooLong();
    if (token != "$end") return Where(name, line) + keyword + " has no $end";
    if (keyword == "$timescale") {
      std::string joined;
      for (const auto& part : body) joined += part;
      auto seconds = TimescaleSeconds(joined);
      if (!seconds) {
        return Where(name, line) + "timescale " + QuotedForMessage(joined) +
               " is not a positive number of s, ms, us, ns, ps or fs";
      }
      tickSeconds = *seconds;
    } else if (keyword == "$scope") {
      if (scopes.size() == DeepestScope) {
        return Where(name, line) + "scopes nest deeper than " + std::to_string(DeepestScope);
      }
      scopes.push_back(body.size() >= 2 ? body[1] : "");
    } else if (keyword == "$upscope") {
      if (!scopes.empty()) scopes.pop_back();
    } else if (keyword == "$var") {
      if (body.size() < 4) return Where(name, line) + "$var needs a type, size, code and name";
      if (signalNames.size() == MostSignals) {
        return Where(name, line) + "more than " + std::to_string(MostSignals) + " signals";
      }
      std::string full;
      for (const auto& scope : scopes) full += scope + ".";
      full += body[3];
      if (full.size() > LongestSignalName) {
        return Where(name, line) + "a signal's name is longer than " +
               std::to_string(LongestSignalName) + " characters";
      }
      signalIds[full] = body[2];
      signalIds.emplace(body[3], body[2]);  // the plain name too, unless it is taken
      signalNames.push_back(full);
    } else if (keyword == "$enddefinitions") {
      definitionsEnded = true;
    }
  }
  if (tokens.TooLong()) return tooLong();
  if (!definitionsEnded) return name + ": not a VCD file (no $enddefinitions)";
  if (signalNames.empty()) return name + ": the VCD file declares no signals";

  std::string id;
  if (options.Signal.empty()) {
    if (signalNames.size() > 1) {
      return name + ": choose a signal with --signal; the file has:" + SignalList(signalNames);
    }
    id = signalIds[signalNames.front()];
  } else {
    auto found = signalIds.find(options.Signal);
    if (found == signalIds.end()) {
      return name + ": no signal named " + QuotedForMessage(options.Signal) +
             "; the file has:" + SignalList(signalNames);
    }
    id = found->second;
  }

  LevelChanges changes(*request.Sink, tickSeconds * UnitsPerSecond / request.Scale.value_or(1));
  std::uint64_t now = 0;
  while (tokens.Next(token)) {
    std::size_t line = tokens.Line();
    char kind = token[0];
    if (kind == '#') {
      std::uint64_t time = 0;
      auto [end, error] = std::from_chars(token.data() + 1, token.data() + token.size(), time);
      if (error != std::errc{} || end != token.data() + token.size()) {
        return Where(name, line) + "bad time " + QuotedForMessage(token);
      }
      if (time < now)
        return Where(name, line) + "time goes backwards to " + QuotedForMessage(token);
      now = time;
    } else if (kind == '$') {
      continue;  // $dumpvars, $dumpall, $dumpon, $dumpoff, $end: their values are ordinary changes
    } else if (kind == '0' || kind == '1') {
      if (token.compare(1, std::string::npos, id) == 0)
        changes.Set(static_cast<double>(now), kind == '1');
    } else if (kind == 'x' || kind == 'X' || kind == 'z' || kind == 'Z') {
      continue;  // an unknown level keeps the last known one
    } else if (kind == 'b' || kind == 'B' || kind == 'r' || kind == 'R') {
      std::string code;
      if (!tokens.Next(code))
        return Where(name, line) + "value " + QuotedForMessage(token) + " has no signal code";
      if (code != id) continue;
      if (kind == 'b' || kind == 'B') {
        if (token.find_first_of("xXzZ") != std::string::npos) continue;
        changes.Set(static_cast<double>(now), token.find('1') != std::string::npos);
      } else {
        changes.Set(static_cast<double>(now), std::strtod(token.c_str() + 1, nullptr) >= 0.5);
      }
    } else {
      return Where(name, line) + "cannot read " + QuotedForMessage(token);
    }
  }
  if (tokens.TooLong()) return tooLong();
  if (in.bad()) return name + ": read error";
  changes.Close(static_cast<double>(now));
  Summarise(changes.Timeline(), "VCD", static_cast<double>(now) * tickSeconds, summary);
  if (!changes.Started()) return name + ": the signal never has a value";
  if (summary.Runs == 0) return name + " is flat: the level never changes";
  return {};
}

std::string ImportLevelCsv(std::istream& in, const std::string& name, const ImportRequest& request,
                           ImportSummary& summary) {
  LevelChanges changes(*request.Sink, UnitsPerSecond / request.Scale.value_or(1));
  std::optional<double> start;
  double previousTime = 0;
  bool headerPossible = true;
  std::string line;
  TextLines lines(in, LongestCsvLine);
  for (;;) {
    TextLines::Result result = lines.Next(line);
    const std::size_t lineNumber = lines.Number();
    if (result == TextLines::Result::End) break;
    if (result == TextLines::Result::ReadError) return name + ": read error";
    if (result == TextLines::Result::TooLong) {
      return Where(name, lineNumber) + "the line is longer than " + std::to_string(LongestCsvLine) +
             " characters";
    }
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#' || line[first] == ';') continue;
    std::size_t comma = line.find(',');
    char* end = nullptr;
    double time = std::strtod(line.c_str(), &end);
    bool timeRead =
        end != line.c_str() && comma != std::string::npos &&
        line.find_first_not_of(" \t", static_cast<std::size_t>(end - line.c_str())) == comma;
    double level = timeRead ? std::strtod(line.c_str() + comma + 1, &end) : 0;
    bool levelRead = timeRead && end != line.c_str() + comma + 1 &&
                     line.find_first_not_of(" \t,", static_cast<std::size_t>(end - line.c_str())) ==
                         std::string::npos;
    if (!timeRead || !levelRead || !std::isfinite(time) || !std::isfinite(level)) {
      if (headerPossible) {  // a header row
        headerPossible = false;
        continue;
      }
      return Where(name, lineNumber) + "expected \"time,level\" with numbers, found " +
             QuotedForMessage(line);
    }
    headerPossible = false;
    // Times may start below 0 (a trigger at 0 with samples before it): they count from the
    // first row.
    if (!start) previousTime = *(start = time);
    if (time < previousTime) return Where(name, lineNumber) + "time goes backwards";
    previousTime = time;
    changes.Set(time - *start, level >= 0.5);
  }
  if (start) changes.Close(previousTime - *start);
  Summarise(changes.Timeline(), "CSV", start ? previousTime - *start : 0, summary);
  if (!start) return name + " holds no rows";
  if (summary.Runs == 0) return name + " is flat: the level never changes";
  return {};
}

std::string ImportVcdFile(const ImportRequest& request, ImportSummary& summary) {
  if (request.Input == "-") return ImportVcd(std::cin, "standard input", request, summary);
  std::ifstream in(request.Input, std::ios::binary);
  if (!in) return "cannot open " + request.Input;
  return ImportVcd(in, request.Input, request, summary);
}

std::string ImportLevelCsvFile(const ImportRequest& request, ImportSummary& summary) {
  if (request.Input == "-") return ImportLevelCsv(std::cin, "standard input", request, summary);
  std::ifstream in(request.Input, std::ios::binary);
  if (!in) return "cannot open " + request.Input;
  return ImportLevelCsv(in, request.Input, request, summary);
}
