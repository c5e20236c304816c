// A value's data read by its type: texts as 16-bit units, numbers as numbers.
// What the items look like on screen is the value report's business.
#pragma once

#include <cstdint>
#include <string_view>

#include "hive/byte_reader.h"

namespace keyscout {

// Receives the items of one value's data, in the order the data holds them.
class DecodedValueSink {
 public:
  virtual ~DecodedValueSink() = default;
  // Part of the current text: units, none of them zero. A long text comes in
  // several parts, one after the other.
  virtual void TextPart(std::u16string_view units) = 0;
  // The current text is whole; called once for every text, also for an empty
  // text that had no part.
  virtual void TextEnd() = 0;
  // A number and the hexadecimal digits its type holds (8, or 16 for a QWORD).
  virtual void Number(uint64_t value, int hex_digits) = 0;
  // The data's length is not the size of its number type.
  virtual void LengthDoesNotFit() = 0;
};

// True for the types DecodeValueData decodes: REG_SZ, REG_EXPAND_SZ,
// REG_LINK, REG_MULTI_SZ, REG_DWORD, REG_DWORD_BIG_ENDIAN and REG_QWORD.
bool HasDecodedForm(uint32_t type);

// Hands the items of `data`, a value's whole data, to `sink` by `type`:
//   REG_SZ, REG_EXPAND_SZ, REG_LINK: one text, the little-endian units up to
//     the first zero unit or the end (an odd last byte is ignored);
//   REG_MULTI_SZ: the texts in order, up to the first empty one or the end;
//     the empty text that ends the list is not handed over;
//   REG_DWORD, REG_DWORD_BIG_ENDIAN (read big-endian), REG_QWORD: one number
//     when the length is exactly 4 (8 for REG_QWORD) bytes, else
//     LengthDoesNotFit.
// Returns false, and calls nothing, for every other type. When `covered` is
// given it receives how many bytes from the start the items handed over
// account for: the texts with the zero unit that ends each (and the empty
// text that ends a list), or the whole number; 0 when the length does not
// fit. Bytes past it are no part of the decoded form. Reads each byte once,
// through `data` alone, and holds at most one part of a text at a time,
// however long the data. Prints nothing.
bool DecodeValueData(const ByteReader& data, uint32_t type, DecodedValueSink& sink, uint64_t* covered = nullptr);

}  // namespace keyscout
