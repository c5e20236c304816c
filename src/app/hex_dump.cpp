#include "app/hex_dump.h"

namespace keyscout {

namespace {

constexpr size_t DUMP_BYTES_PER_LINE = 16;
constexpr size_t DUMP_GROUP_BYTES = 8;  // "- " follows this many bytes
// Offset (up to 16 digits) + 4 + 16 * 3 + 2 + 2 + 16 * 2 + line end.
constexpr size_t DUMP_LINE_CAPACITY = 16 + 4 + 48 + 2 + 2 + 32 + 1;
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// Digits, letters and the space show as themselves; everything else,
// punctuation and bytes from 0x80 up included, as a full stop.
char DumpCharacter(uint8_t byte) {
  const bool shown = (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                     (byte >= 'A' && byte <= 'Z') || byte == ' ';
  return shown ? static_cast<char>(byte) : '.';
}

// Writes the offset in upper-case hexadecimal, at least two digits, and the
// four spaces after it. Returns the number of characters written.
size_t PutOffset(uint64_t offset, char* line) {
  char digits[16];
  size_t n = 0;
  do {
    digits[n++] = HEX_DIGITS[offset & 0xF];
    offset >>= 4;
  } while (offset != 0);
  if (n < 2) digits[n++] = '0';
  size_t at = 0;
  while (n > 0) line[at++] = digits[--n];
  for (int i = 0; i < 4; ++i) line[at++] = ' ';
  return at;
}

// One line of `present` bytes (0 to 16) at `offset`; positions past them are
// blank. A line without bytes has neither offset nor "- ".
void PrintLine(const uint8_t* bytes, size_t present, uint64_t offset, Console& out) {
  char line[DUMP_LINE_CAPACITY];
  size_t at = present > 0 ? PutOffset(offset, line) : 0;
  for (size_t i = 0; i < DUMP_BYTES_PER_LINE; ++i) {
    if (i < present) {
      line[at++] = HEX_DIGITS[bytes[i] >> 4];
      line[at++] = HEX_DIGITS[bytes[i] & 0xF];
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
