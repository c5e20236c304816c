#include "support/hive_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace keyscout::test {

namespace {

uint32_t RoundUp8(uint64_t n) { return static_cast<uint32_t>((n + 7) & ~uint64_t{7}); }

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool FitsBytes(const std::u16string& s) {
  return std::all_of(s.begin(), s.end(), [](char16_t c) { return c <= 0xFF; });
}

// The stored form of a name: raw bytes if given, else 8-bit or 16-bit.
Bytes NameBytes(const std::u16string& name, const std::optional<bool>& compressed,
                const std::optional<Bytes>& raw, bool* is_compressed) {
  *is_compressed = compressed.value_or(FitsBytes(name));
  if (raw) return *raw;
  return *is_compressed ? Latin1(name) : Utf16Le(name);
}

int CompareWindowsOrder(const std::u16string& a, const std::u16string& b) {
  auto up = [](char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c; };
  for (size_t i = 0;; ++i) {
    const int x = i < a.size() ? up(a[i]) : 0;
    const int y = i < b.size() ? up(b[i]) : 0;
    if (x != y || x == 0) return x - y;
  }
}

}  // namespace

Bytes Utf16Le(const std::u16string& text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

Bytes Latin1(const std::u16string& text) {
  Bytes out;
  for (char16_t c : text) out.push_back(static_cast<uint8_t>(c));
  return out;
}

std::u16string U16(const std::string& ascii) {
  std::u16string out;
  for (char c : ascii) out.push_back(static_cast<unsigned char>(c));
  return out;
}

Bytes Pattern(size_t length, uint32_t seed) {
  Bytes out(length);
  uint32_t x = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < length; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

HiveBuilder::HiveBuilder(uint32_t first_hbin_size, uint16_t minor) : minor_(minor) {
  file_.assign(0x1000, 0);
  StartHbin(0, first_hbin_size);
}

void HiveBuilder::Ensure(uint64_t size) {
  if (file_.size() < size) file_.resize(size, 0);
}

void HiveBuilder::StartHbin(uint32_t offset, uint32_t size) {
  if (size == 0 || size % 0x1000 != 0) throw std::invalid_argument("hbin size must be a multiple of 4096");
  Ensure(0x1000 + uint64_t{offset} + size);
  const size_t at = 0x1000 + offset;
  std::memcpy(&file_[at], "hbin", 4);
  Put32(file_, at + 4, offset);
  Put32(file_, at + 8, size);
  hbin_start_ = offset;
  hbin_end_ = offset + size;
  cursor_ = offset + 0x20;
}

void HiveBuilder::CloseHbin() {
  // The rest of the hbin becomes one free cell, as a real writer leaves it.
  if (cursor_ < hbin_end_) {
    const uint32_t rest = hbin_end_ - cursor_;
    if (rest >= 4) Put32(file_, FileOffset(cursor_), rest);
  }
  cursor_ = hbin_end_;
}

uint32_t HiveBuilder::AddHbin(uint32_t size) {
  CloseHbin();
  const uint32_t offset = static_cast<uint32_t>(file_.size() - 0x1000);
  StartHbin(offset, size);
  return offset;
}

void HiveBuilder::MoveTo(uint32_t index) { cursor_ = index; }

uint32_t HiveBuilder::AddCell(const Bytes& payload, uint32_t size) {
  if (size == 0) size = RoundUp8(4 + payload.size());
  if (size < 4 + payload.size()) throw std::invalid_argument("cell smaller than its payload");
  if (uint64_t{cursor_} + size > hbin_end_) {
    const uint32_t need = static_cast<uint32_t>((uint64_t{size} + 0x20 + 0xFFF) & ~uint64_t{0xFFF});
    AddHbin(need);
  }
  const uint32_t index = cursor_;
  RawCell(index, -static_cast<int32_t>(size), payload);  // moves the cursor past the cell
  return index;
}

void HiveBuilder::RawCell(uint32_t index, int32_t size_field, const Bytes& payload) {
  const uint64_t at = FileOffset(index);
  Ensure(at + 4 + payload.size());
  Put32(file_, at, static_cast<uint32_t>(size_field));
  if (!payload.empty()) std::memcpy(&file_[at + 4], payload.data(), payload.size());
  // Later cells (and the free space written at the end) go after this one.
  if (index >= cursor_ && index < hbin_end_) {
    uint64_t end = uint64_t{index} + 4 + payload.size();
    if (size_field < 0) end = std::max<uint64_t>(end, uint64_t{index} + static_cast<uint64_t>(-int64_t{size_field}));
    cursor_ = static_cast<uint32_t>(std::min<uint64_t>(hbin_end_, RoundUp8(end)));
  }
}

uint32_t HiveBuilder::Key(const KeySpec& shape) {
  bool compressed = false;
  const Bytes name = NameBytes(shape.name, shape.compressed, shape.raw_name, &compressed);
  Bytes p(0x4C + name.size(), 0);  // payload starts at cell offset +4
  auto at = [](uint32_t cell_offset) { return cell_offset - 4; };
  std::memcpy(&p[at(0x04)], "nk", 2);
  Put16(p, at(0x06), static_cast<uint16_t>((compressed ? 0x20 : 0) | shape.extra_flags));
  Put32(p, at(0x08), static_cast<uint32_t>(shape.last_written));
  Put32(p, at(0x0C), static_cast<uint32_t>(shape.last_written >> 32));
  Put32(p, at(0x14), shape.parent);
  Put32(p, at(0x18), shape.stable_count);
  Put32(p, at(0x1C), shape.volatile_count);
  Put32(p, at(0x20), shape.stable_list);
  Put32(p, at(0x24), shape.volatile_list);
  Put32(p, at(0x28), shape.value_count);
  Put32(p, at(0x2C), shape.value_list);
  Put32(p, at(0x30), shape.security);
  Put32(p, at(0x34), shape.class_name);
  Put16(p, at(0x4C), shape.name_length.value_or(static_cast<uint16_t>(name.size())));
  Put16(p, at(0x4E), shape.class_length);
  std::copy(name.begin(), name.end(), p.begin() + at(0x50));
  return AddCell(p);
}

uint32_t HiveBuilder::LeafList(const char* signature, const std::vector<uint32_t>& keys) {
  const bool narrow = std::strcmp(signature, "li") == 0;
  const size_t entry = narrow ? 4 : 8;
  Bytes p(4 + entry * keys.size(), 0);
  std::memcpy(&p[0], signature, 2);
  Put16(p, 2, static_cast<uint16_t>(keys.size()));
  for (size_t i = 0; i < keys.size(); ++i) Put32(p, 4 + entry * i, keys[i]);
  return AddCell(p);
}

uint32_t HiveBuilder::IndexRoot(const std::vector<uint32_t>& leaves) {
  Bytes p(4 + 4 * leaves.size(), 0);
  std::memcpy(&p[0], "ri", 2);
  Put16(p, 2, static_cast<uint16_t>(leaves.size()));
  for (size_t i = 0; i < leaves.size(); ++i) Put32(p, 4 + 4 * i, leaves[i]);
  return AddCell(p);
}

uint32_t HiveBuilder::ValueList(const std::vector<uint32_t>& values) {
  Bytes p(4 * values.size(), 0);
  for (size_t i = 0; i < values.size(); ++i) Put32(p, 4 * i, values[i]);
  return AddCell(p);
}

uint32_t HiveBuilder::Value(const ValueSpec& shape) {
  bool compressed = false;
  const Bytes name = NameBytes(shape.name, shape.compressed, shape.raw_name, &compressed);
  Bytes p(0x14 + name.size(), 0);
  std::memcpy(&p[0], "vk", 2);
  Put16(p, 0x02, shape.name_length.value_or(static_cast<uint16_t>(name.size())));
  Put32(p, 0x04, shape.data_size);
  Put32(p, 0x08, shape.data_offset);
  Put32(p, 0x0C, shape.type);
  Put16(p, 0x10, compressed ? 1 : 0);
  std::copy(name.begin(), name.end(), p.begin() + 0x14);
  return AddCell(p);
}

uint32_t HiveBuilder::Value(const std::u16string& name, uint32_t type, const Bytes& data) {
  ValueSpec shape;
  shape.name = name;
  shape.type = type;
  const uint32_t length = static_cast<uint32_t>(data.size());
  if (length <= 4) {
    shape.data_size = 0x80000000u | length;
    for (size_t i = 0; i < data.size(); ++i) shape.data_offset |= uint32_t{data[i]} << (8 * i);
  } else {
    shape.data_size = length;
    shape.data_offset = length <= 16344 ? DataCell(data) : BigData(data);
  }
  return Value(shape);
}

uint32_t HiveBuilder::DataCell(const Bytes& data) { return AddCell(data); }

uint32_t HiveBuilder::BigData(const Bytes& data, uint32_t segment) {
  std::vector<uint32_t> segments;
  for (size_t at = 0; at < data.size(); at += segment) {
    const size_t n = std::min<size_t>(segment, data.size() - at);
    Bytes piece(data.data() + at, data.data() + at + n);
    segments.push_back(AddCell(piece));
  }
  const uint32_t list = ValueList(segments);
  Bytes p(12, 0);
  std::memcpy(&p[0], "db", 2);
  Put16(p, 2, static_cast<uint16_t>(segments.size()));
  Put32(p, 4, list);
  return AddCell(p);
}

uint32_t HiveBuilder::Security(const Bytes& descriptor) {
  Bytes p(0x14 + descriptor.size(), 0);
  std::memcpy(&p[0], "sk", 2);
  Put32(p, 0x0C, 1);  // reference count; the list links are patched below
  Put32(p, 0x10, static_cast<uint32_t>(descriptor.size()));
  std::copy(descriptor.begin(), descriptor.end(), p.begin() + 0x14);
  const uint32_t index = AddCell(p);
  PatchCellU32(index, 0x08, index);  // a list of one: links to itself
  PatchCellU32(index, 0x0C, index);
  return index;
}

void HiveBuilder::PatchU8(uint64_t file_offset, uint8_t v) {
  Ensure(file_offset + 1);
  file_[file_offset] = v;
}
void HiveBuilder::PatchU16(uint64_t file_offset, uint16_t v) {
  Ensure(file_offset + 2);
  Put16(file_, file_offset, v);
}
void HiveBuilder::PatchU32(uint64_t file_offset, uint32_t v) {
  Ensure(file_offset + 4);
  Put32(file_, file_offset, v);
}

Bytes HiveBuilder::Finish() {
  if (cursor_ >= hbin_start_ && cursor_ < hbin_end_) {
    const uint32_t keep = cursor_;
    CloseHbin();
    cursor_ = keep;
  }
  Bytes out = file_;
  std::memcpy(&out[0], "regf", 4);
  Put32(out, 0x04, primary_sequence_);  // equal sequence numbers: the hive is clean
  Put32(out, 0x08, secondary_sequence_);
  Put32(out, 0x0C, static_cast<uint32_t>(last_written_));
  Put32(out, 0x10, static_cast<uint32_t>(last_written_ >> 32));
  Put32(out, 0x14, 1);  // major version
  Put32(out, 0x18, minor_);
  Put32(out, 0x1C, 0);  // primary file
  Put32(out, 0x20, 1);  // direct memory load
  Put32(out, 0x24, root_);
  Put32(out, 0x28, static_cast<uint32_t>(out.size() - 0x1000));
  Put32(out, 0x2C, 1);  // clustering factor
  uint32_t sum = 0;
  for (size_t i = 0; i < 0x1FC; i += 4) {
    sum ^= uint32_t{out[i]} | uint32_t{out[i + 1]} << 8 | uint32_t{out[i + 2]} << 16 |
           uint32_t{out[i + 3]} << 24;
  }
  if (sum == 0) sum = 1;
  if (sum == 0xFFFFFFFFu) sum = 0xFFFFFFFEu;
  Put32(out, 0x1FC, sum);
  return out;
}

uint32_t BuildTree(HiveBuilder& b, const TreeKey& key, uint32_t parent, uint32_t inherited_security) {
  uint32_t security = inherited_security;
  if (key.security) security = b.Security(*key.security);

  std::vector<const TreeKey*> children;
  for (const TreeKey& child : key.children) children.push_back(&child);
  std::stable_sort(children.begin(), children.end(), [](const TreeKey* x, const TreeKey* y) {
    return CompareWindowsOrder(x->name, y->name) < 0;
  });
  std::vector<uint32_t> child_cells;
  // Children get their parent's index patched in once the parent exists.
  for (const TreeKey* child : children) child_cells.push_back(BuildTree(b, *child, 0, security));

  KeySpec shape;
  shape.name = key.name;
  shape.parent = parent;
  // The root carries the flags a real root has (hive entry, no delete).
  if (parent == NO_CELL) shape.extra_flags = 0x0C;
  shape.security = security;
  shape.stable_count = static_cast<uint32_t>(child_cells.size());
  if (!child_cells.empty()) {
    if (key.leaf_size == 0 || child_cells.size() <= key.leaf_size) {
      shape.stable_list = b.LeafList(key.leaf_signature, child_cells);
    } else {
      std::vector<uint32_t> leaves;
      for (size_t at = 0; at < child_cells.size(); at += key.leaf_size) {
        const size_t end = std::min(child_cells.size(), at + key.leaf_size);
        leaves.push_back(b.LeafList(key.leaf_signature,
                                    std::vector<uint32_t>(child_cells.data() + at, child_cells.data() + end)));
      }
      shape.stable_list = b.IndexRoot(leaves);
    }
  }
  std::vector<uint32_t> volatile_cells;
  for (const TreeKey& child : key.volatile_children) volatile_cells.push_back(BuildTree(b, child, 0, security));
  if (!volatile_cells.empty()) {
    shape.volatile_count = static_cast<uint32_t>(volatile_cells.size());
    shape.volatile_list = b.LeafList(key.leaf_signature, volatile_cells);
  }
  std::vector<uint32_t> values;
  for (const TreeValue& v : key.values) values.push_back(b.Value(v.name, v.type, v.data));
  if (!values.empty()) {
    shape.value_count = static_cast<uint32_t>(values.size());
    shape.value_list = b.ValueList(values);
  }
  const uint32_t self = b.Key(shape);
  for (uint32_t child : child_cells) b.PatchCellU32(child, 0x14, self);
  for (uint32_t child : volatile_cells) b.PatchCellU32(child, 0x14, self);
  return self;
}

Bytes BuildHive(const TreeKey& root, uint32_t first_hbin_size) {
  HiveBuilder b(first_hbin_size);
  b.SetRoot(BuildTree(b, root));
  return b.Finish();
}

}  // namespace keyscout::test
