// Channel CSV: values as a user or a spreadsheet writes them. In: text with a header row that
// names the columns ch1 to ch8 (any order, any case, each once; other columns are ignored, with
// one warning), then one row per frame of positions 0 to 1023. Out: rows of eight positions,
// one at a time, so inputs of any length stream.
//
// Blank lines and lines starting with # are skipped; CR LF line ends, a UTF-8 byte-order mark
// and spaces around a value are accepted. An empty value holds the channel's previous position,
// and until a channel's first position appears its rows wait for it (up to 4096 rows), so a
// frame export, where half the channels are not yet known in the first row, feeds straight back.
// When the header also names every column of the frame a frame export records (type, p1..p8,
// d1..d8, aux0..aux3, ecc0..ecc3; end_ms, aux_ok, pct1..pct8, margin, grade and why are then known too), each row also gives
// that frame as it was decoded: its parity, positions, deltas, aux and ecc.
#pragma once

#include <array>
#include <deque>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "encode/channel_frames.h"
#include "files/text_lines.h"

class ChannelCsvReader {
 public:
  static constexpr std::size_t LongestLine = 4096;
  static constexpr std::size_t MostRowsWaiting = 4096;

  ChannelCsvReader(std::istream& in, std::string name);

  // The next row; false at the end of the input or on an error. `frame`, when given, gets the
  // frame the row records, or nothing when the input has no frame columns.
  bool Next(ChannelRow& row, std::optional<FrameFields>* frame = nullptr);

  // Empty unless the input was wrong: "NAME:LINE:COLUMN: what is wrong".
  const std::string& Error() const { return error_; }

  // Columns the reader ignores, said once after the header; empty when there are none.
  const std::string& Warning() const { return warning_; }

  struct Cell;  // one value of a line, where it starts

 private:
  bool ReadHeader();
  bool ReadRow();  // reads one data line into waiting_; false at the end or on an error
  bool Fail(std::size_t column, const std::string& what);
  bool ReadFrame(const std::vector<Cell>& cells, FrameFields& frame);  // a row's exported frame

  TextLines lines_;
  std::string name_;
  std::string error_, warning_;
  bool haveHeader_ = false;
  std::size_t columnCount_ = 0;
  std::array<int, 64> channelOfColumn_{};     // -1: ignored; columns past 64 are ignored too
  std::array<int, 64> frameFieldOfColumn_{};  // what a frame export's column holds, -1: none
  bool haveFrames_ = false;                   // every column of an exported frame is there
  std::array<std::int32_t, ChannelCount> latest_{};
  std::array<bool, ChannelCount> known_{};
  std::deque<ChannelRow> waiting_;  // rows ready or waiting for a channel's first value
  std::deque<std::array<bool, ChannelCount>> given_;
  std::deque<FrameFields> frames_;  // beside waiting_, when haveFrames_
};

// Reads the whole text into `rows` (tests and fuzzing). Returns an error, or an empty text.
std::string ParseChannelCsv(std::istream& in, const std::string& name,
                            std::vector<ChannelRow>& rows);
