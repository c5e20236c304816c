#include "hive/value_decode.h"

#include "hive/layout.h"

namespace keyscout {

namespace {

// Units handed over per text part: a 200 MiB text is decoded through this
// much memory, which stays in the processor's cache while it is printed.
constexpr size_t TEXT_PART_UNITS = 8192;

// Where one text ended: how many units it held and the offset at which the
// next one starts (past its zero unit, or the end of the data).
struct TextRun {
  uint64_t units = 0;
  uint64_t next = 0;
};

// Hands over, in parts, the units from `at` up to the first zero unit or
// `end`; the caller has checked that [at, end) lies inside `data` and holds
// whole units.
TextRun HandOverText(const ByteReader& data, uint64_t at, uint64_t end, DecodedValueSink& sink) {
  char16_t part[TEXT_PART_UNITS];
  TextRun text;
  while (at < end) {
    const uint64_t left = (end - at) / 2;
    const size_t wanted = left < TEXT_PART_UNITS ? static_cast<size_t>(left) : TEXT_PART_UNITS;
    size_t got = 0;
    if (!data.UnitsToZero(at, wanted, part, &got)) break;
    if (got != 0) sink.TextPart(std::u16string_view(part, got));
    text.units += got;
    at += 2 * uint64_t{got};
    if (got < wanted) {
      text.next = at + 2;  // past the zero unit
      return text;
    }
  }
  text.next = end;
  return text;
}

// Choice: a number fits only data of exactly its size. Longer data is not
// cut to its first bytes: that would show a number the value may not hold.
// Returns the bytes the number took: all of them, or 0.
uint64_t DecodeNumber(const ByteReader& data, uint32_t type, DecodedValueSink& sink) {
  if (type == VALUE_TYPE_QWORD) {
    uint64_t value = 0;
    if (data.size() == 8 && data.U64(0, &value)) {
      sink.Number(value, 16);
      return 8;
    }
    sink.LengthDoesNotFit();
    return 0;
  }
  uint32_t value = 0;
  if (data.size() != 4 || !data.U32(0, &value)) {
    sink.LengthDoesNotFit();
    return 0;
  }
  if (type == VALUE_TYPE_DWORD_BIG_ENDIAN) {
    value = (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
  }
  sink.Number(value, 8);
  return 4;
}

}  // namespace

bool HasDecodedForm(uint32_t type) {
  switch (type) {
    case VALUE_TYPE_SZ:
    case VALUE_TYPE_EXPAND_SZ:
    case VALUE_TYPE_LINK:
    case VALUE_TYPE_MULTI_SZ:
    case VALUE_TYPE_DWORD:
    case VALUE_TYPE_DWORD_BIG_ENDIAN:
    case VALUE_TYPE_QWORD:
      return true;
    default:
      return false;
  }
}

bool DecodeValueData(const ByteReader& data, uint32_t type, DecodedValueSink& sink, uint64_t* covered) {
  if (!HasDecodedForm(type)) return false;
  // Text is read in whole units: an odd last byte belongs to none.
  const uint64_t end = data.size() & ~uint64_t{1};
  uint64_t used = 0;
  switch (type) {
    case VALUE_TYPE_MULTI_SZ: {
      while (used < end) {
        const TextRun text = HandOverText(data, used, end, sink);
        used = text.next;
        // Choice: the list ends at its first empty text even when more texts
        // follow it: that empty text is the list's end, and what lies beyond
        // it is no part of the list. A list that lacks it ends with the data.
        if (text.units == 0) break;
        sink.TextEnd();
      }
      break;
    }
    case VALUE_TYPE_DWORD:
    case VALUE_TYPE_DWORD_BIG_ENDIAN:
    case VALUE_TYPE_QWORD:
      used = DecodeNumber(data, type, sink);
      break;
    default:
      // Choice: a text without units (no data, or a zero unit first) is
      // still one item, an empty one: the value holds a text, and the report
      // says so by an empty line rather than by leaving the line out.
      used = HandOverText(data, 0, end, sink).next;
      sink.TextEnd();
      break;
  }
  if (covered != nullptr) *covered = used;
  return true;
}

}  // namespace keyscout
