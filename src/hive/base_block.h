// The base block that opens a hive file, and the copy of its first
// BASE_COPY_SIZE bytes that opens each transaction log: its checksum, the
// test of whether the hive was written back in full, the fields that tell the
// hive's own state, and the signatures that say a file is a hive at all.
#pragma once

#include <cstdint>
#include <optional>

#include "hive/byte_reader.h"
#include "hive/layout.h"

namespace keyscout {

class HiveImage;

// The checksum of a base block (or of the copy at the start of a log): the
// XOR of the 127 little-endian words before the checksum field, with 0 kept
// as 1 and 0xFFFFFFFF as 0xFFFFFFFE. Nothing when the words cannot be read.
std::optional<uint32_t> ComputeBaseBlockChecksum(const ByteReader& reader);

// True when the stored checksum equals the computed one.
bool BaseBlockChecksumValid(const ByteReader& reader);

// True when the hive was not written back in full: its base block is invalid
// (checksum wrong or unreadable) or its primary and secondary sequence
// numbers differ. Prints nothing.
bool IsHiveDirty(const ByteReader& hive);

// The base block fields that tell the hive's own state, each as stored, or
// nothing when its bytes cannot be read.
struct BaseBlockFields {
  std::optional<uint32_t> primary_sequence;
  std::optional<uint32_t> secondary_sequence;
  std::optional<uint64_t> last_written;  // FILETIME
  std::optional<uint32_t> major_version;
  std::optional<uint32_t> minor_version;
  bool dirty = true;  // IsHiveDirty
};

// Reads the base block fields of `image` (at its file offset 0). Prints nothing.
BaseBlockFields ReadBaseBlockFields(const HiveImage& image);

// A file shorter than its base block declares: `length` bytes of the
// `declared` ones, HIVE_BASE plus the hive bins data size. Keys and values past
// its end are lost.
struct Truncation {
  uint64_t length = 0;
  uint64_t declared = 0;
};

// The truncation of a hive file of `length` bytes whose base block (or, with
// its logs applied, the recovered one) `hive` holds; nothing when the file
// holds all the base block declares, or the base block's checksum fails (its
// fields then say nothing for sure). Prints nothing.
std::optional<Truncation> FindTruncation(const ByteReader& hive, uint64_t length);

// True when the page at the hive base, where the first hbin lies, reads
// "hbin". Prints nothing.
bool HasFirstHbin(const ByteReader& hive);

// True when the base block reads "regf" and the first hbin "hbin": the file
// is a hive at all. Prints nothing.
bool HasHiveSignatures(const HiveImage& image);

}  // namespace keyscout
