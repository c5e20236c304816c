// Text for machine-read records (JSON Lines, CSV, bodyfiles): 16-bit units
// as UTF-8 with each format's escapes (the digits are text/numbers'). Each
// writer fills a caller's buffer that has the room its contract names, so
// that records go straight into the console's buffer; none allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace keyscout {

// How a text is escaped.
enum class TextStyle {
  // A JSON string's inside (RFC 8259): '"' and '\' escaped with a backslash,
  // every control character (U+0000 to U+001F, U+007F to U+009F) and every
  // unpaired surrogate unit as \u and four lower-case digits, so that the
  // exact units survive.
  kJson,
  // A CSV field's inside, within double quotes (RFC 4180): '"' doubled.
  kCsv,
  // A bodyfile name: '|', line feed and carriage return as \x7C, \x0A, \x0D.
  kBodyfile,
};

// The most bytes one unit can become in any style ("\u001b").
inline constexpr size_t ESCAPED_UNIT_MOST = 6;

// Writes `units` as UTF-8 in `style` into `out`, which has room for
// ESCAPED_UNIT_MOST bytes per unit plus ESCAPED_UNIT_MOST. A text may come in
// parts: a high surrogate that ends one part waits in `*pending` (0 when none
// waits) for the low surrogate that may begin the next, and EscapeEnd writes
// it when none comes. An unpaired surrogate is its \u escape in JSON and
// U+FFFD in the other styles, which cannot carry it. Returns the bytes
// written.
size_t EscapeUnits(TextStyle style, std::u16string_view units, char16_t* pending, char* out);

// Ends a text that came in parts: writes the surrogate left in `*pending`, if
// any (room: ESCAPED_UNIT_MOST bytes), and clears it. Returns the bytes
// written.
size_t EscapeEnd(TextStyle style, char16_t* pending, char* out);

}  // namespace keyscout
