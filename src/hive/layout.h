// Offsets and constants of the hive file format, one per field, so the whole
// on-disk layout that keyscout reads can be checked against the format tables
// on one page. Every cell offset counts from the cell's size field.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keyscout {

// Names are decoded into buffers of this many 16-bit units (259 + terminator).
inline constexpr size_t NAME_BUFFER_CHARS = 260;
// The longest name that fits a name buffer with its terminator.
inline constexpr size_t NAME_MAX_CHARS = NAME_BUFFER_CHARS - 1;

// Base block (file offset 0). Transaction logs begin with a copy of its
// first BASE_COPY_SIZE bytes, laid out the same.
inline constexpr uint64_t BASE_SIGNATURE = 0x000;           // "regf"
inline constexpr uint64_t BASE_PRIMARY_SEQUENCE = 0x004;    // u32, raised before a write
inline constexpr uint64_t BASE_SECONDARY_SEQUENCE = 0x008;  // u32, raised after it
inline constexpr uint64_t BASE_LAST_WRITTEN = 0x00C;        // u64 FILETIME (UTC)
inline constexpr uint64_t BASE_MAJOR_VERSION = 0x014;       // u32
inline constexpr uint64_t BASE_MINOR_VERSION = 0x018;       // u32
inline constexpr uint64_t BASE_FILE_TYPE = 0x01C;           // u32: 0 hive, 1 or 2 old log, 6 new log
inline constexpr uint64_t BASE_ROOT_CELL = 0x024;           // HCELL_INDEX of the root key
inline constexpr uint64_t BASE_HIVE_BINS_SIZE = 0x028;      // u32, a multiple of 4096
// The largest hive bins data size: a cell index with its top bit set names
// volatile storage, which never reaches a file.
inline constexpr uint32_t HIVE_BINS_SIZE_MAX = 0x80000000u;
inline constexpr uint64_t BASE_CLUSTERING = 0x02C;          // u32
inline constexpr uint64_t BASE_FLAGS = 0x090;               // u32
inline constexpr uint64_t BASE_CHECKSUM = 0x1FC;            // u32 XOR of the words before it
inline constexpr uint64_t BASE_COPY_SIZE = 0x200;
inline constexpr uint32_t SIG_REGF = 0x66676572;            // "regf" as a little-endian u32
inline constexpr uint32_t FILE_TYPE_HIVE = 0;

// The hive base: file offset of the first hbin, origin of every HCELL_INDEX.
inline constexpr uint64_t HIVE_BASE = 0x1000;
inline constexpr uint32_t PAGE_SIZE = 0x1000;

// hbin header (offsets inside the hbin).
inline constexpr uint64_t HBIN_SIGNATURE = 0x00;    // "hbin"
inline constexpr uint64_t HBIN_OFFSET = 0x04;       // hive-relative offset of this hbin
inline constexpr uint64_t HBIN_LENGTH = 0x08;       // length in bytes
inline constexpr uint64_t HBIN_TIMESTAMP = 0x14;    // u64 FILETIME; the first hbin's copies the base block's
inline constexpr uint32_t SIG_HBIN = 0x6e696268;    // "hbin"
// Cells may not start in an hbin's header area.
inline constexpr uint32_t HBIN_HEADER_SIZE = 32;
// How far back (in pages) an hbin header is looked for; real hbins stay far below.
inline constexpr uint32_t HBIN_MAX_PAGES = 256;

// Every cell.
inline constexpr uint32_t CELL_SIZE = 0x00;         // signed 32-bit; negative = allocated
inline constexpr uint32_t CELL_SIGNATURE = 0x04;    // two letters, first in the low byte

inline constexpr uint16_t SIG_NK = 0x6b6e;  // "nk"
inline constexpr uint16_t SIG_LF = 0x666c;  // "lf"
inline constexpr uint16_t SIG_LH = 0x686c;  // "lh"
inline constexpr uint16_t SIG_LI = 0x696c;  // "li"
inline constexpr uint16_t SIG_RI = 0x6972;  // "ri"
inline constexpr uint16_t SIG_VK = 0x6b76;  // "vk"
inline constexpr uint16_t SIG_DB = 0x6264;  // "db"
inline constexpr uint16_t SIG_SK = 0x6b73;  // "sk"

// Key node ("nk").
inline constexpr uint32_t NK_FLAGS = 0x06;            // u16, the NK_FLAG_* bits
inline constexpr uint32_t NK_LAST_WRITTEN = 0x08;     // u64 FILETIME (UTC)
inline constexpr uint32_t NK_PARENT = 0x14;           // HCELL_INDEX of the parent key
inline constexpr uint32_t NK_STABLE_COUNT = 0x18;     // u32
inline constexpr uint32_t NK_VOLATILE_COUNT = 0x1C;   // u32
inline constexpr uint32_t NK_STABLE_LIST = 0x20;      // i32 HCELL_INDEX, negative = none
inline constexpr uint32_t NK_VOLATILE_LIST = 0x24;    // i32 HCELL_INDEX, negative = none
inline constexpr uint32_t NK_VALUE_COUNT = 0x28;      // u32
inline constexpr uint32_t NK_VALUE_LIST = 0x2C;       // HCELL_INDEX
inline constexpr uint32_t NK_SECURITY = 0x30;         // HCELL_INDEX of the security cell
inline constexpr uint32_t NK_CLASS_NAME = 0x34;       // HCELL_INDEX of the class name cell, -1 = none
inline constexpr uint32_t NK_NAME_LENGTH = 0x4C;      // u16
inline constexpr uint32_t NK_CLASS_LENGTH = 0x4E;     // u16, bytes of UTF-16LE; 0 = no class name
inline constexpr uint32_t NK_NAME = 0x50;
// Key node flags (NK_FLAGS).
inline constexpr uint16_t NK_FLAG_VOLATILE = 0x0001;         // lives in memory only
inline constexpr uint16_t NK_FLAG_HIVE_EXIT = 0x0002;        // mount point of another hive
inline constexpr uint16_t NK_FLAG_HIVE_ENTRY = 0x0004;       // root key of a hive
inline constexpr uint16_t NK_FLAG_NO_DELETE = 0x0008;        // cannot be deleted
inline constexpr uint16_t NK_FLAG_SYM_LINK = 0x0010;         // a symbolic link key
inline constexpr uint16_t NK_FLAG_COMPRESSED_NAME = 0x0020;  // the name is 8-bit
inline constexpr uint16_t NK_FLAG_PREDEF_HANDLE = 0x0040;    // a predefined handle

// Subkey lists ("lf", "lh", "li", "ri").
inline constexpr uint32_t LIST_COUNT = 0x06;          // u16
inline constexpr uint32_t LIST_ENTRIES = 0x08;
inline constexpr uint32_t LEAF_ENTRY_SIZE = 8;        // "lf" / "lh": index + hash
inline constexpr uint32_t INDEX_ENTRY_SIZE = 4;       // "li" / "ri": index only

// Value list: entries from +0x04, each the HCELL_INDEX of a "vk".
inline constexpr uint32_t VALUE_LIST_ENTRIES = 0x04;
inline constexpr uint32_t VALUE_LIST_ENTRY_SIZE = 4;

// Value key ("vk").
inline constexpr uint32_t VK_NAME_LENGTH = 0x06;      // u16
inline constexpr uint32_t VK_DATA_SIZE = 0x08;        // u32; bit 31 = resident
inline constexpr uint32_t VK_DATA_OFFSET = 0x0C;      // HCELL_INDEX or resident bytes
inline constexpr uint32_t VK_TYPE = 0x10;             // u32
inline constexpr uint32_t VK_FLAGS = 0x14;            // u16; bit 0x0001: 8-bit name
inline constexpr uint32_t VK_NAME = 0x18;
inline constexpr uint16_t VALUE_NAME_COMPRESSED = 0x0001;
inline constexpr uint32_t VALUE_DATA_RESIDENT = 0x80000000u;
inline constexpr uint32_t VALUE_RESIDENT_MAX = 4;

// Value type codes (the vk type field) whose data has a form of its own.
inline constexpr uint32_t VALUE_TYPE_SZ = 1;                  // UTF-16LE text, zero-terminated
inline constexpr uint32_t VALUE_TYPE_EXPAND_SZ = 2;           // the same, with %VARIABLES%
inline constexpr uint32_t VALUE_TYPE_DWORD = 4;               // u32, little-endian
inline constexpr uint32_t VALUE_TYPE_DWORD_BIG_ENDIAN = 5;    // u32, big-endian
inline constexpr uint32_t VALUE_TYPE_LINK = 6;                // UTF-16LE text: a key path
inline constexpr uint32_t VALUE_TYPE_MULTI_SZ = 7;            // texts, each zero-terminated, then an empty one
inline constexpr uint32_t VALUE_TYPE_QWORD = 11;              // u64, little-endian

// Data cells.
inline constexpr uint32_t DATA_BYTES = 0x04;
inline constexpr uint32_t BIG_DATA_SEGMENT = 16344;   // bytes per big-data segment
inline constexpr uint32_t DB_SEGMENT_COUNT = 0x06;    // u16
inline constexpr uint32_t DB_SEGMENT_LIST = 0x08;     // HCELL_INDEX
inline constexpr uint32_t DB_RECORD_END = 0x0C;       // just past the segment list field
// Segment list: entries from +0x04, each the HCELL_INDEX of a segment.
inline constexpr uint32_t SEGMENT_LIST_ENTRIES = 0x04;
inline constexpr uint32_t SEGMENT_LIST_ENTRY_SIZE = 4;

// Security cell ("sk").
inline constexpr uint32_t SK_DESCRIPTOR = 0x18;

// The security descriptor stored in an "sk" cell and its parts, in their
// published self-relative formats. Offsets count from the start of each
// structure.
// Self-relative security descriptor.
inline constexpr uint32_t SD_REVISION = 0x00;         // u8; 1
inline constexpr uint32_t SD_CONTROL = 0x02;          // u16 control bits
inline constexpr uint32_t SD_OWNER = 0x04;            // u32 offset of the owner SID, 0 = none
inline constexpr uint32_t SD_GROUP = 0x08;            // u32 offset of the group SID, 0 = none
inline constexpr uint32_t SD_SACL = 0x0C;             // u32 offset of the SACL, 0 = none
inline constexpr uint32_t SD_DACL = 0x10;             // u32 offset of the DACL, 0 = none
inline constexpr uint32_t SD_HEADER_SIZE = 0x14;
// ACL header; the entries follow it.
inline constexpr uint32_t ACL_REVISION_FIELD = 0x00;  // u8
inline constexpr uint32_t ACL_SIZE = 0x02;            // u16, header and entries
inline constexpr uint32_t ACL_COUNT = 0x04;           // u16 number of entries
inline constexpr uint32_t ACL_HEADER_SIZE = 0x08;
// ACE: a 4-byte header, then the body of its type.
inline constexpr uint32_t ACE_TYPE = 0x00;            // u8
inline constexpr uint32_t ACE_FLAGS = 0x01;           // u8
inline constexpr uint32_t ACE_SIZE = 0x02;            // u16, header included
inline constexpr uint32_t ACE_HEADER_SIZE = 0x04;
inline constexpr uint32_t ACE_MASK = 0x04;            // u32 access mask
inline constexpr uint32_t ACE_SID = 0x08;             // plain layout: the SID
inline constexpr uint32_t ACE_OBJECT_FLAGS = 0x08;    // object layout: u32 which GUIDs follow
inline constexpr uint32_t ACE_OBJECT_GUIDS = 0x0C;    // object layout: GUIDs present, then the SID
inline constexpr uint32_t GUID_SIZE = 16;
// SID.
inline constexpr uint32_t SID_REVISION_FIELD = 0x00;  // u8; 1
inline constexpr uint32_t SID_COUNT = 0x01;           // u8 number of sub-authorities
inline constexpr uint32_t SID_AUTHORITY = 0x02;       // 6 bytes, big-endian
inline constexpr uint32_t SID_AUTHORITY_SIZE = 6;
inline constexpr uint32_t SID_SUB_AUTHORITIES = 0x08; // u32 each, little-endian
inline constexpr uint32_t SID_SUB_AUTHORITY_SIZE = 4;
inline constexpr uint32_t SID_HEADER_SIZE = 0x08;
// The length of a SID with `count` sub-authorities.
constexpr uint32_t SidLengthFor(uint32_t count) { return SID_HEADER_SIZE + SID_SUB_AUTHORITY_SIZE * count; }

}  // namespace keyscout
