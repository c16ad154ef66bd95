// Bytes in, valid JSON string literals and XML text out.
#include "study/text_escape.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 character at the start of `text`, or 0 if it is not one
// (overlong forms, surrogates and values past U+10FFFF are not).
std::size_t CharacterLength(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  std::uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  std::uint8_t second = byte(1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

// Calls `ascii(c)` for every ASCII character and appends other well-formed characters as they
// are; invalid bytes become U+FFFD.
template <typename Ascii>
std::string Escape(std::string_view text, Ascii ascii) {
  std::string out;
  out.reserve(text.size() + 2);
  while (!text.empty()) {
    std::size_t length = CharacterLength(text);
    if (length == 1) {
      ascii(out, text[0]);
    } else if (length == 0) {
      out += Replacement;
      length = 1;
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

}  // namespace

std::string JsonString(std::string_view text) {
  return "\"" +
         Escape(text,
                [](std::string& out, char c) {
                  switch (c) {
                    case '"':
                      out += "\\\"";
                      break;
                    case '\\':
                      out += "\\\\";
                      break;
                    case '\n':
                      out += "\\n";
                      break;
                    case '\r':
                      out += "\\r";
                      break;
                    case '\t':
                      out += "\\t";
                      break;
                    default:
                      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                        char escaped[8];
                        std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                      static_cast<unsigned>(static_cast<unsigned char>(c)));
                        out += escaped;
                      } else {
                        out += c;
                      }
                  }
                }) +
         "\"";
}

std::string ValidUtf8(std::string_view text) {
  return Escape(text, [](std::string& out, char c) { out += c; });
}

std::string XmlText(std::string_view text) {
  return Escape(text, [](std::string& out, char c) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // XML 1.0 allows no control characters but tab, line feed and carriage return.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += Replacement;
        } else {
          out += c;
        }
    }
  });
}
