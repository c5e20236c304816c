#include "app/hex_dump.h"

#include "text/numbers.h"

namespace keyscout {

namespace {

constexpr size_t DUMP_BYTES_PER_LINE = 16;
constexpr size_t DUMP_GROUP_BYTES = 8;  // "- " follows this many bytes
// Offset (up to 16 digits) + 4 + 16 * 3 + 2 + 2 + 16 * 2 + line end.
constexpr size_t DUMP_LINE_CAPACITY = 16 + 4 + 48 + 2 + 2 + 32 + 1;

// Digits, letters and the space show as themselves; everything else,
// punctuation and bytes from 0x80 up included, as a full stop.
char DumpCharacter(uint8_t byte) {
  const bool shown = (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                     (byte >= 'A' && byte <= 'Z') || byte == ' ';
  return shown ? static_cast<char>(byte) : '.';
}

// One line of `present` bytes (0 to 16) at `offset`; positions past them are
// blank. A line without bytes has neither offset nor "- ".
void PrintLine(const uint8_t* bytes, size_t present, uint64_t offset, Console& out) {
  char line[DUMP_LINE_CAPACITY];
  size_t at = 0;
  if (present > 0) {
    // The offset as wide as it needs to be, never less than two digits, and
    // four spaces.
    at = PutHex(offset, 2, line);
    for (int i = 0; i < 4; ++i) line[at++] = ' ';
  }
  for (size_t i = 0; i < DUMP_BYTES_PER_LINE; ++i) {
    if (i < present) {
      at += PutHex(bytes[i], 2, line + at);
    } else {
      line[at++] = ' ';
      line[at++] = ' ';
    }
    line[at++] = ' ';
    if (i + 1 == DUMP_GROUP_BYTES && present > 0) {
      line[at++] = '-';
      line[at++] = ' ';
    }
  }
  line[at++] = ' ';
  line[at++] = ' ';
  for (size_t i = 0; i < DUMP_BYTES_PER_LINE; ++i) {
    if (i < present) {
      line[at++] = DumpCharacter(bytes[i]);
    } else {
      // Two spaces per missing byte, not one.
      line[at++] = ' ';
      line[at++] = ' ';
    }
  }
  line[at++] = '\n';
  out.Bytes(line, at);
}

}  // namespace

void PrintHexDump(const uint8_t* data, size_t count, Console& out) {
  const size_t full_lines = count / DUMP_BYTES_PER_LINE;
  for (size_t k = 0; k < full_lines; ++k) {
    PrintLine(data + k * DUMP_BYTES_PER_LINE, DUMP_BYTES_PER_LINE, uint64_t{k} * DUMP_BYTES_PER_LINE, out);
  }
  const size_t done = full_lines * DUMP_BYTES_PER_LINE;
  PrintLine(data + done, count - done, done, out);
}

}  // namespace keyscout
