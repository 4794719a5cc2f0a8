#pragma once
// Conversion between the program's UTF-8 strings and the unit's 8-bit GBK texts.

#include <optional>
#include <string>
#include <string_view>

namespace mzr {

// UTF-8 to GBK. Gives nothing when the text holds a character GBK cannot hold or is not
// valid UTF-8: such input is refused, never silently changed.
std::optional<std::string> GbkFromUtf8(std::string_view utf8);

// GBK to UTF-8. Bytes that are not valid GBK become U+FFFD, so a damaged text from a
// file or the unit still shows, clearly marked.
std::string Utf8FromGbk(std::string_view gbk);

// Length in bytes of the longest prefix of gbk, at most maxBytes long, that does not split
// a double-byte character.
std::size_t GbkPrefixLength(std::string_view gbk, std::size_t maxBytes);

}  // namespace mzr
