// Writes transaction logs in memory beside hives made with HiveBuilder: a
// base block copy, then an old-format dirty vector with its pages or
// new-format entries with their hashes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/hive_builder.h"

namespace keyscout::test {

// Bytes a log carries for the hive bins data at relative offset `offset`.
struct LogPage {
  uint32_t offset = 0;
  Bytes bytes;
};

// One new-format entry; its sequence number follows from its place.
struct LogEntry {
  std::vector<LogPage> pages;
  uint32_t hive_bins_size = 0x2000;
  uint32_t flags = 0;
};

// Writes a little-endian u32; SetBaseU32 also fixes the base block checksum.
void PutU32(Bytes& file, uint64_t at, uint32_t v);
void SetBaseU32(Bytes& file, uint64_t at, uint32_t v);
// Sets the base block checksum (of a hive or a log) to fit its words.
void FixBaseChecksum(Bytes& file);

// A new-format log of `hive`: base block copy and first entry numbered
// `sequence`, each entry one more, hashes set.
Bytes NewLog(const Bytes& hive, uint32_t sequence, const std::vector<LogEntry>& entries);
// Sets both hashes of the entry at file offset `at` again after a change.
void RehashEntry(Bytes& log, uint64_t at);

// An old-format log of `hive` whose base block copy states `sequence`,
// `time` (last written) and `hive_bins_size`; its dirty vector marks every
// 512-byte page of `pages`, which follow in bit order.
Bytes OldLog(const Bytes& hive, uint32_t sequence, uint32_t time, uint32_t hive_bins_size,
             const std::vector<LogPage>& pages);

// A dirty hive and the new-format log that brings it up to date.
struct DirtyHive {
  Bytes hive;
  Bytes log;
};

// `stale` made dirty (its primary sequence number one past its secondary),
// with a log (its base block copy `fresh`'s) of one entry, numbered as the
// hive's secondary, that carries
// every 4096-byte page of `fresh`'s hive bins data that differs from
// `stale`'s, and `fresh`'s hive bins data size: replayed, the hive reads as
// `fresh` (but for its base block).
DirtyHive MakeDirty(Bytes stale, const Bytes& fresh);

// A small dirty hive whose newest key and value data are only in its log:
// ROOT holds Old, whose REG_DWORD value V is 1 in the hive and 2 in the log,
// and, in the log only, New. With `grown` the log also adds an hbin and the
// whole tree moves into it, so every report reads past the stored file.
struct LoggedHive {
  Bytes fresh;  // the hive as its log leaves it
  Bytes hive;   // as stored: dirty, sequence numbers 2 and 1
  Bytes log;    // new format, one entry numbered 1
};
LoggedHive BuildLoggedHive(bool grown = false);

// A field that replay reads, in the hive's base block or in a log.
struct LogField {
  std::string what;    // for failure messages, e.g. "LOG1 entry 2 page 1 offset"
  size_t file = 0;     // 0: the hive, then the logs in order
  uint64_t offset = 0;  // file offset of its first byte
  uint32_t width = 0;   // 1 or 4 bytes
  // How to make the damage pass the check that guards the field, so that
  // replay goes on to use it: the base block checksum, or the hashes of the
  // new-format entry at `entry`. Neither for the guards themselves.
  bool checksummed = false;
  std::optional<uint64_t> entry;
};

// A compact hive (BuildCompactHive) stored dirty, its first two pages of hive
// bins data stale, with logs that bring them back, and every field replay
// reads in them.
struct CompactLogSet {
  std::string name;           // "new format" or "old format"
  std::vector<Bytes> files;   // the hive, then its logs (LOG1, LOG2)
  std::vector<LogField> fields;
};
// The new-format set (LOG1 of two entries, LOG2 of one that follows them)
// and the old-format set (one log).
std::vector<CompactLogSet> BuildCompactLogSets();

}  // namespace keyscout::test
