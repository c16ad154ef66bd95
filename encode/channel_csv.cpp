// Channel CSV: text in, rows of eight positions out, or an error that says where.
#include "encode/channel_csv.h"

#include <algorithm>
#include <charconv>
#include <string_view>

struct ChannelCsvReader::Cell {
  std::string_view text;
  std::size_t column;  // 1-based column of the cell's first character
};

namespace {

using Cell = ChannelCsvReader::Cell;

std::vector<Cell> SplitCells(std::string_view line) {
  std::vector<Cell> cells;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = line.find(',', start);
    std::string_view raw =
        line.substr(start, comma == std::string_view::npos ? line.npos : comma - start);
    std::size_t first = raw.find_first_not_of(" \t");
    std::size_t last = raw.find_last_not_of(" \t");
    std::string_view trimmed =
        first == raw.npos ? std::string_view{} : raw.substr(first, last - first + 1);
    cells.push_back({trimmed, start + (first == raw.npos ? 0 : first) + 1});
    if (comma == std::string_view::npos) return cells;
    start = comma + 1;
  }
}

// The channel (0 to 7) a header cell names, in any case, or -1.
int ChannelNamed(std::string_view label) {
  if (label.size() != 3 || (label[0] != 'c' && label[0] != 'C') ||
      (label[1] != 'h' && label[1] != 'H') || label[2] < '1' || label[2] > '8') {
    return -1;
  }
  return label[2] - '1';
}

// The columns of a frame export (study/frame_export.h), numbered as frameFieldOfColumn_ holds
// them: type, p1..p8, d1..d8, aux0..aux3, ecc0..ecc3, then those that are known but not needed.
constexpr int TypeField = 0, PositionField = 1, DeltaField = 9, AuxField = 17, EccField = 21,
              NeededFields = 25;

// "p1".."p8" and the like: the place of the digit after `prefix` from `first` to `last`, or -1.
int Numbered(std::string_view label, std::string_view prefix, char first, char last) {
  if (label.size() != prefix.size() + 1 || label.substr(0, prefix.size()) != prefix) return -1;
  char digit = label.back();
  return digit >= first && digit <= last ? digit - first : -1;
}

int ExportFieldNamed(std::string_view label) {
  if (label == "type") return TypeField;
  if (label == "end_ms") return NeededFields;
  if (label == "aux_ok") return NeededFields + 1;
  // Derived from ch1..ch8, and a frame's grade: known, not needed.
  if (Numbered(label, "pct", '1', '8') >= 0) return NeededFields + 2;
  if (label == "margin" || label == "grade" || label == "why") return NeededFields + 2;
  if (int p = Numbered(label, "p", '1', '8'); p >= 0) return PositionField + p;
  if (int d = Numbered(label, "d", '1', '8'); d >= 0) return DeltaField + d;
  if (int a = Numbered(label, "aux", '0', '3'); a >= 0) return AuxField + a;
  if (int e = Numbered(label, "ecc", '0', '3'); e >= 0) return EccField + e;
  return -1;
}

bool Skipped(const std::string& line) {
  std::size_t first = line.find_first_not_of(" \t");
  return first == std::string::npos || line[first] == '#';
}

}  // namespace

ChannelCsvReader::ChannelCsvReader(std::istream& in, std::string name)
    : lines_(in, LongestLine), name_(std::move(name)) {}

bool ChannelCsvReader::Fail(std::size_t column, const std::string& what) {
  error_ =
      name_ + ":" + std::to_string(lines_.Number()) + ":" + std::to_string(column) + ": " + what;
  return false;
}

bool ChannelCsvReader::Next(ChannelRow& row, std::optional<FrameFields>* frame) {
  if (!error_.empty()) return false;
  // A row leaves once every channel has had a value: rows before a channel's first value take
  // that value.
  while (waiting_.empty() || !std::all_of(known_.begin(), known_.end(), [](bool k) { return k; })) {
    if (!ReadRow()) {
      if (!error_.empty() || waiting_.empty()) return false;
      for (std::size_t c = 0; c < ChannelCount; ++c) {
        if (!known_[c]) {
          error_ = name_ + ": column ch" + std::to_string(c + 1) + " never has a value";
          return false;
        }
      }
      break;
    }
    if (waiting_.size() > MostRowsWaiting) {
      for (std::size_t c = 0; c < ChannelCount; ++c) {
        if (!known_[c]) {
          return Fail(1, "column ch" + std::to_string(c + 1) + " has had no value for " +
                             std::to_string(MostRowsWaiting) + " rows");
        }
      }
    }
  }
  row = waiting_.front();
  waiting_.pop_front();
  given_.pop_front();
  if (frame != nullptr) *frame = std::nullopt;
  if (haveFrames_) {
    if (frame != nullptr) *frame = frames_.front();
    frames_.pop_front();
  }
  return true;
}

bool ChannelCsvReader::ReadHeader() {
  std::string line;
  for (;;) {
    TextLines::Result result = lines_.Next(line);
    if (result == TextLines::Result::TooLong) {
      return Fail(1, "the line is longer than " + std::to_string(LongestLine) + " characters");
    }
    if (result == TextLines::Result::ReadError) return Fail(1, "read error");
    if (result == TextLines::Result::End) {
      error_ = name_ + ": no header row (expected ch1,...,ch8)";
      return false;
    }
    if (!Skipped(line)) break;
  }
  std::vector<Cell> cells = SplitCells(line);
  std::array<bool, ChannelCount> seen{};
  std::array<bool, NeededFields> fieldSeen{};
  frameFieldOfColumn_.fill(-1);
  for (std::size_t i = 0; i < cells.size() && i < frameFieldOfColumn_.size(); ++i) {
    int field = ExportFieldNamed(cells[i].text);
    if (field >= 0 && field < NeededFields && fieldSeen[static_cast<std::size_t>(field)])
      field = -1;  // named twice: not an export's header
    if (field >= 0 && field < NeededFields) fieldSeen[static_cast<std::size_t>(field)] = true;
    frameFieldOfColumn_[i] = field;
  }
  haveFrames_ = std::all_of(fieldSeen.begin(), fieldSeen.end(), [](bool s) { return s; });
  std::string ignored;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    int channel = ChannelNamed(cells[i].text);
    if (i < channelOfColumn_.size()) channelOfColumn_[i] = channel;
    if (channel < 0 || i >= channelOfColumn_.size()) {
      bool known = haveFrames_ && i < frameFieldOfColumn_.size() && frameFieldOfColumn_[i] >= 0;
      if (!known) ignored += (ignored.empty() ? "" : ", ") + QuotedForMessage(cells[i].text);
      continue;
    }
    if (seen[static_cast<std::size_t>(channel)]) {
      return Fail(cells[i].column, "column ch" + std::to_string(channel + 1) + " appears twice");
    }
    seen[static_cast<std::size_t>(channel)] = true;
  }
  for (std::size_t c = 0; c < ChannelCount; ++c) {
    if (!seen[c]) {
      return Fail(
          1, "the header has no column ch" + std::to_string(c + 1) + " (it must name ch1 to ch8)");
    }
  }
  if (!ignored.empty()) {
    warning_ = name_ + ":" + std::to_string(lines_.Number()) + ": ignoring column" +
               (ignored.find(',') != std::string::npos ? "s " : " ") + ignored +
               " (only ch1 to ch8 are used)";
  }
  columnCount_ = cells.size();
  haveHeader_ = true;
  return true;
}

bool ChannelCsvReader::ReadRow() {
  if (!haveHeader_ && !ReadHeader()) return false;
  std::string line;
  for (;;) {
    TextLines::Result result = lines_.Next(line);
    if (result == TextLines::Result::TooLong) {
      return Fail(1, "the line is longer than " + std::to_string(LongestLine) + " characters");
    }
    if (result == TextLines::Result::ReadError) return Fail(1, "read error");
    if (result == TextLines::Result::End) return false;
    if (!Skipped(line)) break;
  }
  std::vector<Cell> cells = SplitCells(line);
  if (cells.size() != columnCount_) {
    return Fail(1, "expected " + std::to_string(columnCount_) + " values, found " +
                       std::to_string(cells.size()));
  }
  ChannelRow row = latest_;
  std::array<bool, ChannelCount> given{};
  for (std::size_t i = 0; i < cells.size() && i < channelOfColumn_.size(); ++i) {
    int channel = channelOfColumn_[i];
    std::string_view text = cells[i].text;
    if (channel < 0 || text.empty()) continue;
    std::int32_t value = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
      return Fail(cells[i].column, QuotedForMessage(text) + " is not a whole number");
    }
    if (value < 0 || value > MaxPosition) {
      return Fail(cells[i].column, "position " + std::string(text) + " is outside 0 to 1023");
    }
    auto c = static_cast<std::size_t>(channel);
    row[c] = value;
    given[c] = true;
    if (!known_[c]) {
      // Rows that waited for this channel's first value take it.
      for (std::size_t w = 0; w < waiting_.size(); ++w) {
        if (!given_[w][c]) waiting_[w][c] = value;
      }
      known_[c] = true;
    }
    latest_[c] = value;
  }
  for (std::size_t c = 0; c < ChannelCount; ++c) given[c] = given[c] || known_[c];
  if (haveFrames_) {
    FrameFields frame;
    if (!ReadFrame(cells, frame)) return false;
    frames_.push_back(frame);
  }
  waiting_.push_back(row);
  given_.push_back(given);
  return true;
}

bool ChannelCsvReader::ReadFrame(const std::vector<Cell>& cells, FrameFields& frame) {
  // The highest value of each field, by its number in frameFieldOfColumn_.
  auto highest = [](int field) {
    return field < DeltaField ? MaxPosition : field < AuxField ? 15 : field < EccField ? 3 : 255;
  };
  std::array<std::int32_t, NeededFields> value;
  value.fill(-1);
  std::size_t typeColumn = 1;
  for (std::size_t i = 0; i < cells.size() && i < frameFieldOfColumn_.size(); ++i) {
    int field = frameFieldOfColumn_[i];
    std::string_view text = cells[i].text;
    if (field < 0 || field >= NeededFields || text.empty()) continue;
    if (field == TypeField) {
      if (text != "odd" && text != "even")
        return Fail(cells[i].column, QuotedForMessage(text) + " is not a frame type (odd, even)");
      value[TypeField] = text == "odd" ? OddFrame : EvenFrame;
      typeColumn = cells[i].column;
      continue;
    }
    std::int32_t number = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || end != text.data() + text.size())
      return Fail(cells[i].column, QuotedForMessage(text) + " is not a whole number");
    if (number < 0 || number > highest(field)) {
      return Fail(cells[i].column,
                  std::string(text) + " is outside 0 to " + std::to_string(highest(field)));
    }
    value[static_cast<std::size_t>(field)] = number;
  }
  if (value[TypeField] < 0) return Fail(typeColumn, "the frame has no type");
  frame.Parity = value[TypeField];
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    GroupChannels channels = ChannelsOfGroup(frame.Parity, g);
    const std::int32_t fields[4] = {
        value[AuxField + g], value[DeltaField + channels.DeltaChannel - 1],
        value[PositionField + channels.PositionChannel - 1], value[EccField + g]};
    if (std::find(fields, fields + 4, -1) != fields + 4) {
      return Fail(typeColumn,
                  "the frame of group " + std::to_string(g) + " lacks aux" + std::to_string(g) +
                      ", d" + std::to_string(channels.DeltaChannel) + ", p" +
                      std::to_string(channels.PositionChannel) + " or ecc" + std::to_string(g));
    }
    frame.Groups[g] = {static_cast<std::uint32_t>(fields[0]), static_cast<std::uint32_t>(fields[1]),
                       static_cast<std::uint32_t>(fields[2]),
                       static_cast<std::uint32_t>(fields[3])};
  }
  return true;
}

std::string ParseChannelCsv(std::istream& in, const std::string& name,
                            std::vector<ChannelRow>& rows) {
  ChannelCsvReader reader(in, name);
  ChannelRow row;
  while (reader.Next(row)) rows.push_back(row);
  return reader.Error();
}
