// Offsets and constants of the transaction logs Windows keeps beside a hive,
// one per field, in the style of layout.h. A log starts with a copy of the
// hive's first BASE_COPY_SIZE bytes, read with the BASE_* offsets there.
#pragma once

#include <cstdint>

#include "hive/layout.h"

namespace keyscout {

// File types a log's base block copy may carry at BASE_FILE_TYPE.
inline constexpr uint32_t FILE_TYPE_OLD_LOG = 1;      // old format, dirty vector
inline constexpr uint32_t FILE_TYPE_OLD_LOG_ALT = 2;  // old format too
inline constexpr uint32_t FILE_TYPE_NEW_LOG = 6;      // new format, HvLE entries

// Bit of the base block flags that log entries carry over.
inline constexpr uint32_t BASE_FLAGS_LOGGED_BIT = 0x1;

// Old format: the dirty vector follows the base block copy.
inline constexpr uint64_t DIRT_VECTOR = BASE_COPY_SIZE;   // file offset of "DIRT"
inline constexpr uint64_t DIRT_BITMAP = DIRT_VECTOR + 4;  // one bit per dirty page, bit 0 of byte 0 first
inline constexpr uint32_t SIG_DIRT = 0x54524944;          // "DIRT" as a little-endian u32
inline constexpr uint32_t DIRT_PAGE_SIZE = 0x200;         // bytes of hive bins data per bit
inline constexpr uint32_t DIRT_BYTE_SPAN = 0x1000;        // hive bins bytes one bitmap byte covers
inline constexpr uint32_t DIRT_PAGES_ALIGN = 0x200;       // pages start at this alignment after the bitmap

// New format: entries from HVLE_FIRST_ENTRY, each at a multiple of HVLE_ALIGN.
inline constexpr uint64_t HVLE_FIRST_ENTRY = BASE_COPY_SIZE;
inline constexpr uint32_t HVLE_ALIGN = 0x200;          // entry sizes are multiples of this
inline constexpr uint64_t HVLE_SIGNATURE = 0x00;       // "HvLE"
inline constexpr uint64_t HVLE_SIZE = 0x04;            // u32 entry size, >= HVLE_ALIGN
inline constexpr uint64_t HVLE_FLAGS = 0x08;           // u32; bit 0 goes to the base block flags
inline constexpr uint64_t HVLE_SEQUENCE = 0x0C;        // u32, one more than the previous entry's
inline constexpr uint64_t HVLE_HIVE_BINS_SIZE = 0x10;  // u32 hive bins data size after the entry
inline constexpr uint64_t HVLE_PAGE_COUNT = 0x14;      // u32 number of page references, >= 1
inline constexpr uint64_t HVLE_HASH_PAGES = 0x18;      // u64 Marvin32 of bytes HVLE_PAGE_REFS..end
inline constexpr uint64_t HVLE_HASH_HEADER = 0x20;     // u64 Marvin32 of the first HVLE_HEADER_HASHED bytes
inline constexpr uint64_t HVLE_HEADER_HASHED = 0x20;   // bytes covered by the header hash
inline constexpr uint64_t HVLE_PAGE_REFS = 0x28;       // page references, then the pages, packed
inline constexpr uint32_t SIG_HVLE = 0x454C7648;       // "HvLE" as a little-endian u32

// One page reference of a log entry.
inline constexpr uint64_t HVLE_REF_OFFSET = 0x00;  // u32 hive-relative offset of the page
inline constexpr uint64_t HVLE_REF_SIZE = 0x04;    // u32 length of the page in bytes
inline constexpr uint64_t HVLE_REF_BYTES = 0x08;   // size of one reference

}  // namespace keyscout
