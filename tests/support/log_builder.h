// Writes transaction logs in memory beside hives made with HiveBuilder: a
// base block copy, then an old-format dirty vector with its pages or
// new-format entries with their hashes.
#pragma once

#include <cstdint>
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

}  // namespace keyscout::test
