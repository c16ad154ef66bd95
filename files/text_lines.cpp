// A text stream in, bounded lines out; a piece of input in, a short quotation for a message out.
#include "files/text_lines.h"

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t QuotedLength = 80;

}  // namespace

TextLines::Result TextLines::Next(std::string& line) {
  line.clear();
  if (ended_) return Result::End;
  std::streambuf* buffer = in_.rdbuf();
  for (;;) {
    int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      ended_ = true;
      if (in_.bad()) return Result::ReadError;
      if (line.empty()) return Result::End;
      break;
    }
    if (c == '\n') break;
    if (line.size() == longest_) {
      ended_ = true;
      ++number_;
      return Result::TooLong;
    }
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (number_ == 0 && line.starts_with(ByteOrderMark)) line.erase(0, ByteOrderMark.size());
  ++number_;
  return Result::Line;
}

std::string QuotedForMessage(std::string_view text) {
  std::string quoted = "\"";
  std::size_t shown = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    // UTF-8 continuation bytes belong to the character before them.
    if ((c & 0xC0) != 0x80) {
      if (shown == QuotedLength) {
        quoted += "...";
        break;
      }
      ++shown;
    }
    quoted += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  return quoted + "\"";
}
