// Whether a file given as a hive is one, and when it is not, what its first
// bytes say it is instead: a compressed copy, an event log, or one of a
// hive's transaction logs.
#pragma once

#include <cstdint>

#include "hive/byte_reader.h"

namespace keyscout {

enum class FileKind : uint8_t {
  kHive,          // "regf" at 0 and "hbin" at HIVE_BASE
  kUnknown,       // not a hive, and nothing below
  kXz,            // compressed copies, by their signatures
  kGzip,
  kZip,
  kSevenZip,
  kBzip2,
  kEventLog,      // a Windows event log (EVTX)
  kOldFormatLog,  // a transaction log: a valid base block copy of a log's file type
  kNewFormatLog,
};

// What CheckFileKind found.
struct FileKindCheck {
  FileKind kind = FileKind::kUnknown;
  bool has_regf = false;  // "regf" at offset 0
  bool has_hbin = false;  // "hbin" at HIVE_BASE
};

// Reads the signatures of `file` and, when they do not make it a hive, what
// its first bytes say it is. A file with both signatures whose base block is
// valid and of a log's file type is a log all the same. Prints nothing.
FileKindCheck CheckFileKind(const ByteReader& file);

}  // namespace keyscout
