// Channel CSV: text in, rows of eight positions out, or an error that says where.
#include "encode/channel_csv.h"

#include <array>
#include <charconv>
#include <string_view>

namespace {

struct Cell {
  std::string_view text;
  std::size_t column;  // 1-based column of the cell's first character
};

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

std::string Where(const std::string& name, std::size_t line, std::size_t column) {
  return name + ":" + std::to_string(line) + ":" + std::to_string(column) + ": ";
}

}  // namespace

std::string ParseChannelCsv(std::istream& in, const std::string& name,
                            std::vector<ChannelRow>& rows) {
  std::array<std::size_t, ChannelCount> channelOfColumn{};  // column index -> channel index
  std::size_t columnCount = 0;
  bool haveHeader = false;
  std::string line;
  for (std::size_t lineNumber = 1; std::getline(in, line); ++lineNumber) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::vector<Cell> cells = SplitCells(line);

    if (!haveHeader) {
      if (cells.size() != ChannelCount) {
        return Where(name, lineNumber, 1) +
               "the header must name exactly the 8 columns ch1 to ch8, found " +
               std::to_string(cells.size()) + " columns";
      }
      std::array<bool, ChannelCount> seen{};
      for (std::size_t i = 0; i < cells.size(); ++i) {
        std::string_view label = cells[i].text;
        bool known =
            label.size() == 3 && label.substr(0, 2) == "ch" && label[2] >= '1' && label[2] <= '8';
        if (!known) {
          return Where(name, lineNumber, cells[i].column) + "unknown column \"" +
                 std::string(label) + "\" (expected ch1 to ch8)";
        }
        std::size_t channel = static_cast<std::size_t>(label[2] - '1');
        if (seen[channel]) {
          return Where(name, lineNumber, cells[i].column) + "column " + std::string(label) +
                 " appears twice";
        }
        seen[channel] = true;
        channelOfColumn[i] = channel;
      }
      columnCount = cells.size();
      haveHeader = true;
      continue;
    }

    if (cells.size() != columnCount) {
      return Where(name, lineNumber, 1) + "expected " + std::to_string(columnCount) +
             " values, found " + std::to_string(cells.size());
    }
    ChannelRow row{};
    for (std::size_t i = 0; i < cells.size(); ++i) {
      std::string_view text = cells[i].text;
      std::int32_t value = -1;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return Where(name, lineNumber, cells[i].column) + "\"" + std::string(text) +
               "\" is not a whole number";
      }
      if (value < 0 || value > MaxPosition) {
        return Where(name, lineNumber, cells[i].column) + "position " + std::string(text) +
               " is outside 0 to 1023";
      }
      row[channelOfColumn[i]] = value;
    }
    rows.push_back(row);
  }
  if (in.bad()) return name + ": read error";
  if (!haveHeader) return name + ": no header row (expected ch1,...,ch8)";
  return {};
}
