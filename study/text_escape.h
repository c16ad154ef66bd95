// Any bytes as text other programs can parse. In: a file name, a message, any bytes at all.
// Out: a JSON string literal, or XML character data, always valid: bytes that are not UTF-8
// become U+FFFD, and characters that the format forbids or reserves are escaped or replaced.
#pragma once

#include <string>
#include <string_view>

// "text" with quotes, backslashes and control characters escaped.
std::string JsonString(std::string_view text);

// The text with every byte that is not UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Text for an XML element or attribute value: & < > " escaped, control characters replaced.
std::string XmlText(std::string_view text);
