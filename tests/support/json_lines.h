// A strict check of JSON Lines, for what the export writes from hostile
// hives: every line one JSON text (RFC 8259) in valid UTF-8, the last line
// ended.
#pragma once

#include <string>
#include <string_view>

namespace keyscout::test {

// Empty when `text` is JSON Lines whose every line is an object; else what is
// wrong, and where.
std::string JsonLinesFault(std::string_view text);

}  // namespace keyscout::test
