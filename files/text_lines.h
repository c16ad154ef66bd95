// Text input a line at a time, for the companion's CSV readers. In: a stream of text of any
// length. Out: its lines without their line ends (LF or CR LF), a UTF-8 byte-order mark dropped
// from the first, each at most a given length, so memory stays bounded whatever the input (an
// endless line of zeros is an error, not a gigabyte). Also: quoting a piece of input in a
// message, at most about 80 characters of it.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>

class TextLines {
 public:
  enum class Result { Line, End, TooLong, ReadError };

  TextLines(std::istream& in, std::size_t longest) : in_(in), longest_(longest) {}

  // The next line into `line`. TooLong once a line passes the limit (the reader then stops).
  Result Next(std::string& line);

  // The number of the line last returned, from 1.
  std::size_t Number() const { return number_; }
  std::size_t Longest() const { return longest_; }

 private:
  std::istream& in_;
  std::size_t longest_;
  std::size_t number_ = 0;
  bool ended_ = false;
};

// `text` in double quotes for a message: at most 80 characters of it (then "..."), control
// characters shown as '?'.
std::string QuotedForMessage(std::string_view text);
