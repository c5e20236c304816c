// Builds hive files in memory, cell by cell, so every edge case of the format
// is a few readable lines. Offsets are HCELL_INDEX values (hive-relative)
// unless a name says "file offset".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace keyscout::test {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t NO_CELL = 0xFFFFFFFFu;

// A key node. Unset list fields stay -1 (no list).
struct KeySpec {
  std::u16string name;
  // Default: an 8-bit name when every unit fits a byte, else 16-bit units.
  std::optional<bool> compressed;
  // Raw name bytes written instead of `name` (length field = their count).
  std::optional<Bytes> raw_name;
  // Overrides the stored name length field.
  std::optional<uint16_t> name_length;
  uint16_t extra_flags = 0;
  uint32_t parent = NO_CELL;
  uint32_t stable_count = 0;
  uint32_t volatile_count = 0;
  uint32_t stable_list = NO_CELL;
  uint32_t volatile_list = NO_CELL;
  uint32_t value_count = 0;
  uint32_t value_list = NO_CELL;
  uint32_t security = NO_CELL;
  uint64_t last_written = 0;       // FILETIME
  uint32_t class_name = NO_CELL;   // HCELL_INDEX of the class name cell
  uint16_t class_length = 0;       // bytes
};

// A value key with explicit data fields (see HiveBuilder::Value for a
// version that stores the data for you).
struct ValueSpec {
  std::u16string name;
  std::optional<bool> compressed;
  std::optional<Bytes> raw_name;
  std::optional<uint16_t> name_length;
  uint32_t type = 0;
  uint32_t data_size = 0;    // the raw field, resident bit included
  uint32_t data_offset = 0;  // HCELL_INDEX or resident bytes
};

class HiveBuilder {
 public:
  // A base block and a first hbin of `first_hbin_size` bytes (a multiple of
  // 4096). `minor` is the format's minor version (3 or 5).
  explicit HiveBuilder(uint32_t first_hbin_size = 0x1000, uint16_t minor = 5);

  // Appends an hbin of `size` bytes and moves the cursor to its first cell.
  uint32_t AddHbin(uint32_t size);
  // The next cell is placed at `index`, which must lie inside an hbin.
  void MoveTo(uint32_t index);
  uint32_t cursor() const { return cursor_; }

  // An allocated cell holding `payload` after its size field. `size` 0 means
  // 4 + payload rounded up to 8. Opens a new hbin when the current one is full.
  uint32_t AddCell(const Bytes& payload, uint32_t size = 0);
  // A cell with an arbitrary size field at exactly `index` (file grows as
  // needed); the cursor is not moved.
  void RawCell(uint32_t index, int32_t size_field, const Bytes& payload);

  uint32_t Key(const KeySpec& shape);
  // "lf", "lh" (8-byte entries) or "li" (4-byte entries).
  uint32_t LeafList(const char* signature, const std::vector<uint32_t>& keys);
  uint32_t IndexRoot(const std::vector<uint32_t>& leaves);
  uint32_t ValueList(const std::vector<uint32_t>& values);
  uint32_t Value(const ValueSpec& shape);
  // A value whose data is stored the way Windows stores it: resident up to 4
  // bytes, one data cell up to 16344 bytes, else big data ("db").
  uint32_t Value(const std::u16string& name, uint32_t type, const Bytes& data);
  uint32_t DataCell(const Bytes& data);
  // A "db" record with its segment list and segments of `segment` bytes.
  uint32_t BigData(const Bytes& data, uint32_t segment = 16344);
  // An "sk" cell holding `descriptor` at +0x18.
  uint32_t Security(const Bytes& descriptor);

  void SetRoot(uint32_t index) { root_ = index; }
  // The base block's sequence numbers (1 and 1 unless set) and last written
  // time (0 unless set).
  void SetSequence(uint32_t primary, uint32_t secondary) {
    primary_sequence_ = primary;
    secondary_sequence_ = secondary;
  }
  void SetLastWritten(uint64_t filetime) { last_written_ = filetime; }
  uint32_t root() const { return root_; }

  // Raw damage, by file offset.
  void PatchU8(uint64_t file_offset, uint8_t v);
  void PatchU16(uint64_t file_offset, uint16_t v);
  void PatchU32(uint64_t file_offset, uint32_t v);
  // The same, by cell and field offset.
  void PatchCellU16(uint32_t cell, uint32_t field, uint16_t v) { PatchU16(FileOffset(cell) + field, v); }
  void PatchCellU32(uint32_t cell, uint32_t field, uint32_t v) { PatchU32(FileOffset(cell) + field, v); }

  // The finished file: free space filled, base block fields and checksum set.
  Bytes Finish();

  static uint64_t FileOffset(uint32_t index) { return 0x1000 + uint64_t{index}; }

 private:
  void StartHbin(uint32_t offset, uint32_t size);
  void CloseHbin();
  void Ensure(uint64_t size);

  Bytes file_;
  uint32_t hbin_start_ = 0;
  uint32_t hbin_end_ = 0;
  uint32_t cursor_ = 0;
  uint32_t root_ = NO_CELL;
  uint16_t minor_;
  uint32_t primary_sequence_ = 1;
  uint32_t secondary_sequence_ = 1;
  uint64_t last_written_ = 0;
};

// Text helpers.
Bytes Utf16Le(const std::u16string& text);
Bytes Latin1(const std::u16string& text);  // each unit's low byte
std::u16string U16(const std::string& ascii);
Bytes Pattern(size_t length, uint32_t seed = 1);  // deterministic filler bytes

// A whole key tree, built bottom-up with sorted "lh" lists.
struct TreeValue {
  std::u16string name;
  uint32_t type = 0;
  Bytes data;
};

struct TreeKey {
  std::u16string name;
  std::vector<TreeKey> children;
  // Keys reached through the volatile list (count at +0x1C, list at +0x24).
  std::vector<TreeKey> volatile_children;
  std::vector<TreeValue> values;
  std::optional<Bytes> security;  // a descriptor of this key's own
  // When set, children are split into "lh" leaves of this many entries under
  // an "ri".
  uint16_t leaf_size = 0;
  const char* leaf_signature = "lh";
};

// Writes `key` and everything below it; returns its nk index. Children are
// sorted in Windows order (upper-cased). Keys without a descriptor of their
// own share `inherited_security` (written once when first needed).
uint32_t BuildTree(HiveBuilder& builder, const TreeKey& key, uint32_t parent = NO_CELL,
                   uint32_t inherited_security = NO_CELL);

// A file holding `root` as its root key.
Bytes BuildHive(const TreeKey& root, uint32_t first_hbin_size = 0x1000);

}  // namespace keyscout::test
