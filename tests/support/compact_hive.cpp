#include "support/compact_hive.h"

#include <algorithm>
#include <string_view>

#include "hive/layout.h"
#include "support/sd_builder.h"

namespace keyscout::test {

namespace {

uint16_t GetU16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }

// A descriptor with every part the security report reads: owner, group, a
// SACL (audit, object audit with both GUIDs, mandatory label) and a DACL
// (deny, allow, inherited object entries of both layouts, and a callback
// entry the model passes over).
// A plain descriptor: owner, group and a DACL of one entry.
Bytes SmallDescriptor() {
  SdSpec shape;
  shape.owner = Sid("S-1-5-18");
  shape.group = Sid("S-1-5-18");
  shape.dacl = Acl({Ace(0x00, 0x00, 0x000F003F, Sid("S-1-5-32-544"))});
  return Descriptor(shape);
}

Bytes FullDescriptor() {
  const char* const user = "S-1-5-21-3623811015-3361044348-30300820-1013";
  SdSpec shape;
  shape.owner = Sid("S-1-5-32-544");
  shape.group = Sid("S-1-5-18");
  shape.sacl = Acl({
      Ace(0x02, 0xC0, 0x000D0016, Sid("S-1-1-0")),
      ObjectAce(0x07, 0x40, 0x00000100, 3, Guid(1), Guid(2), Sid(user)),
      Ace(0x11, 0x00, 0x00000001, Sid("S-1-16-12288")),
  });
  shape.dacl = Acl({
      Ace(0x01, 0x00, 0x00000006, Sid(user)),
      Ace(0x00, 0x12, 0x000F003F, Sid("S-1-5-32-544")),
      ObjectAce(0x05, 0x10, 0x00000100, 2, {}, Guid(3), Sid("S-1-5-18")),
      ObjectAce(0x06, 0x00, 0x00000010, 0, {}, {}, Sid("S-1-3-0")),
      Ace(0x09, 0x00, 0x00020019, Sid("S-1-5-32-545")),
  });
  return Descriptor(shape);
}

class FieldLog {
 public:
  explicit FieldLog(std::vector<HiveField>* fields) : fields_(fields) {}

  void Add(const std::string& what, uint64_t offset, uint32_t width, const std::string& key = "",
           const std::string& value = "") {
    fields_->push_back(HiveField{what, offset, width, key, value});
  }
  // A field of the cell at `index`, by its offset inside the cell.
  void Field(const std::string& what, uint32_t index, uint32_t at, uint32_t width, const std::string& key = "",
             const std::string& value = "") {
    Add(what, HiveBuilder::FileOffset(index) + at, width, key, value);
  }
  void Size(const std::string& what, uint32_t index, const std::string& key = "", const std::string& value = "") {
    Field(what + " cell size", index, 0, 4, key, value);
  }
  void Key(const std::string& name, uint32_t index, const std::string& path) {
    Size("nk " + name, index, path);
    Field("nk " + name + " flags", index, 0x06, 2, path);
    Field("nk " + name + " stable count", index, 0x18, 4, path);
    Field("nk " + name + " volatile count", index, 0x1C, 4, path);
    Field("nk " + name + " stable list", index, 0x20, 4, path);
    Field("nk " + name + " volatile list", index, 0x24, 4, path);
    Field("nk " + name + " value count", index, 0x28, 4, path);
    Field("nk " + name + " value list", index, 0x2C, 4, path);
    Field("nk " + name + " security", index, 0x30, 4, path);
    Field("nk " + name + " name length", index, 0x4C, 2, path);
  }
  void ClassName(const std::string& name, uint32_t index, uint32_t class_cell, const std::string& path) {
    Field("nk " + name + " class name", index, NK_CLASS_NAME, 4, path);
    Field("nk " + name + " class length", index, NK_CLASS_LENGTH, 2, path);
    Size("class name " + name, class_cell, path);
  }
  void List(const std::string& name, uint32_t index, uint32_t entries, uint32_t entry_size,
            const std::string& path) {
    Size(name, index, path);
    Field(name + " count", index, 0x06, 2, path);
    for (uint32_t i = 0; i < entries; ++i) {
      Field(name + " entry " + std::to_string(i), index, 0x08 + i * entry_size, 4, path);
    }
  }
  void ValueList(const std::string& name, uint32_t index, uint32_t entries, const std::string& path) {
    Size(name, index, path);
    for (uint32_t i = 0; i < entries; ++i) Field(name + " entry " + std::to_string(i), index, 4 + 4 * i, 4, path);
  }
  void Value(const std::string& name, uint32_t index, const std::string& path, const std::string& shown) {
    Size("vk " + shown, index, path, name);
    Field("vk " + shown + " name length", index, 0x06, 2, path, name);
    Field("vk " + shown + " data size", index, 0x08, 4, path, name);
    Field("vk " + shown + " data offset", index, 0x0C, 4, path, name);
    Field("vk " + shown + " type", index, 0x10, 4, path, name);
    Field("vk " + shown + " flags", index, 0x14, 2, path, name);
  }

 private:
  std::vector<HiveField>* fields_;
};

// The descriptor's header, ACL headers, entry sizes and SID counts, found by
// reading the descriptor as built (it lies at `at` in the file).
void LogDescriptor(FieldLog& log, const Bytes& sd, uint64_t at, const std::string& key) {
  const std::string who = key.empty() ? "" : key + ": ";
  log.Add(who + "sd control", at + SD_CONTROL, 2, key);
  log.Add(who + "sd owner offset", at + SD_OWNER_FIELD, 4, key);
  log.Add(who + "sd group offset", at + SD_GROUP_FIELD, 4, key);
  log.Add(who + "sd sacl offset", at + SD_SACL_FIELD, 4, key);
  log.Add(who + "sd dacl offset", at + SD_DACL_FIELD, 4, key);
  log.Add(who + "owner sid count", at + GetU32(sd, SD_OWNER_FIELD) + 1, 1, key);
  log.Add(who + "group sid count", at + GetU32(sd, SD_GROUP_FIELD) + 1, 1, key);
  for (const auto& [name, field] : {std::pair{"sacl", SD_SACL_FIELD}, std::pair{"dacl", SD_DACL_FIELD}}) {
    const uint32_t acl = GetU32(sd, field);
    if (acl == 0) continue;
    const std::string acl_name = who + name;
    log.Add(acl_name + " size", at + acl + 2, 2, key);
    log.Add(acl_name + " count", at + acl + 4, 2, key);
    uint32_t ace = acl + 8;
    for (uint16_t i = 0; i < GetU16(sd, acl + 4); ++i) {
      const std::string ace_name = acl_name + " ace " + std::to_string(i);
      log.Add(ace_name + " type", at + ace, 1, key);
      log.Add(ace_name + " size", at + ace + 2, 2, key);
      if (sd[ace] == 0x05 || sd[ace] == 0x06 || sd[ace] == 0x07) {
        log.Add(ace_name + " object flags", at + ace + 8, 4, key);
      }
      ace += GetU16(sd, ace + 2);
    }
  }
}

}  // namespace

CompactHive BuildCompactHive(bool big_data) {
  CompactHive hive;
  FieldLog log(&hive.fields);
  HiveBuilder b;
  // Every structure comes before the ones it points at, and list and offset
  // fields are filled in once their targets exist: a copy cut anywhere keeps
  // whole whatever leads to the cut and loses only what lies beyond it, so a
  // cut can leave a readable key whose name, list or data runs off the end.
  struct RootValue {
    std::u16string name;
    std::string utf8;
    uint32_t type;
    Bytes data;
    bool resident;
    uint32_t index = 0;
  };
  std::vector<RootValue> values = {
      {u"", "", 1, Utf16Le(std::u16string(u"default\0", 8)), false},
      {u"Resident", "Resident", 4, {1, 0, 0, 0}, true},
      {u"Zero", "Zero", 3, {}, true},
      {u"Empty", "Empty", 3, {}, false},
      {u"Caf\u00E9", "Caf\xC3\xA9", 11, Pattern(8, 3), false},
      {u"\u041A\u043B\u044E\u0447", "\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87", 0x20000, {0x41, 0, 0}, true},
  };
  if (big_data) values.push_back({u"Big", "Big", 3, Pattern(BIG_DATA_SEGMENT + 8, 5), false});
  const auto count = [](size_t n) { return static_cast<uint32_t>(n); };

  const uint32_t root = b.Key(KeySpec{.name = u"ROOT",
                                      .extra_flags = 0x0C,
                                      .stable_count = 4,
                                      .volatile_count = 1,
                                      .value_count = count(values.size())});
  const uint32_t root_values = b.ValueList(std::vector<uint32_t>(values.size(), NO_CELL));
  for (size_t i = 0; i < values.size(); ++i) {
    RootValue& v = values[i];
    ValueSpec shape{.name = v.name, .type = v.type, .data_size = count(v.data.size())};
    if (v.resident) {
      shape.data_size |= VALUE_DATA_RESIDENT;
      for (size_t k = 0; k < v.data.size(); ++k) shape.data_offset |= uint32_t{v.data[k]} << (8 * k);
    }
    v.index = b.Value(shape);
    b.PatchCellU32(root_values, 4 + 4 * count(i), v.index);
  }
  const Bytes descriptor = FullDescriptor();
  const uint32_t sk = b.Security(descriptor);

  const uint32_t ri = b.IndexRoot({NO_CELL, NO_CELL});
  const uint32_t li = b.LeafList("li", {NO_CELL, NO_CELL});
  const uint32_t lh = b.LeafList("lh", {NO_CELL, NO_CELL});
  const uint32_t vol_list = b.LeafList("lf", {NO_CELL});
  const uint32_t alpha = b.Key(KeySpec{.name = u"Alpha", .parent = root, .security = sk});
  const uint32_t beta = b.Key(KeySpec{.name = u"Beta", .parent = root, .security = sk});
  const uint32_t delta = b.Key(KeySpec{.name = u"Delta", .compressed = false, .parent = root, .security = sk});
  const uint32_t gamma = b.Key(KeySpec{.name = u"Gamma", .parent = root, .stable_count = 1, .security = sk});
  const uint32_t gamma_list = b.LeafList("lf", {NO_CELL});
  const uint32_t deep = b.Key(KeySpec{.name = u"Deep", .parent = gamma, .value_count = 2});
  const uint32_t deep_values = b.ValueList({NO_CELL, NO_CELL});
  const uint32_t cell = b.Value(ValueSpec{.name = u"Cell", .type = 3, .data_size = 24});
  const uint32_t dword = b.Value(u"Dword", 4, {1, 2, 3, 4});
  const uint32_t cell_data = b.DataCell(Pattern(24, 2));
  const Bytes deep_descriptor = SmallDescriptor();
  const uint32_t deep_sk = b.Security(deep_descriptor);
  const uint32_t vol = b.Key(KeySpec{.name = u"Vol", .parent = root, .security = sk});

  b.PatchCellU32(root, NK_STABLE_LIST, ri);
  b.PatchCellU32(root, NK_VOLATILE_LIST, vol_list);
  b.PatchCellU32(root, NK_VALUE_LIST, root_values);
  b.PatchCellU32(root, NK_SECURITY, sk);
  b.PatchCellU32(ri, 0x08, li);
  b.PatchCellU32(ri, 0x0C, lh);
  b.PatchCellU32(li, 0x08, alpha);
  b.PatchCellU32(li, 0x0C, beta);
  b.PatchCellU32(lh, 0x08, delta);
  b.PatchCellU32(lh, 0x10, gamma);
  b.PatchCellU32(vol_list, 0x08, vol);
  b.PatchCellU32(gamma, NK_STABLE_LIST, gamma_list);
  b.PatchCellU32(gamma_list, 0x08, deep);
  b.PatchCellU32(deep, NK_VALUE_LIST, deep_values);
  b.PatchCellU32(deep, NK_SECURITY, deep_sk);
  b.PatchCellU32(deep_values, 0x04, cell);
  b.PatchCellU32(deep_values, 0x08, dword);
  b.PatchCellU32(cell, VK_DATA_OFFSET, cell_data);

  // The root's data: cells, then the big-data record, its segment list and
  // its segments (the first of which opens an hbin longer than 4 KiB).
  for (const RootValue& v : values) {
    if (v.resident) continue;
    if (v.data.size() <= BIG_DATA_SEGMENT) {
      b.PatchCellU32(v.index, VK_DATA_OFFSET, b.DataCell(v.data));
      continue;
    }
    const uint32_t segments = count((v.data.size() + BIG_DATA_SEGMENT - 1) / BIG_DATA_SEGMENT);
    const uint32_t record = b.AddCell({'d', 'b', static_cast<uint8_t>(segments), 0, 0, 0, 0, 0});
    const uint32_t list = b.ValueList(std::vector<uint32_t>(segments, NO_CELL));
    b.PatchCellU32(record, DB_SEGMENT_LIST, list);
    b.PatchCellU32(v.index, VK_DATA_OFFSET, record);
    for (uint32_t i = 0; i < segments; ++i) {
      const size_t from = size_t{i} * BIG_DATA_SEGMENT;
      const size_t to = std::min(v.data.size(), from + BIG_DATA_SEGMENT);
      const Bytes piece(v.data.begin() + static_cast<ptrdiff_t>(from), v.data.begin() + static_cast<ptrdiff_t>(to));
      b.PatchCellU32(list, 4 + 4 * i, b.DataCell(piece));
    }
  }
  // Class names last, so that a cut anywhere before them leaves the keys
  // whole and the class names unreadable.
  const uint32_t root_class = b.AddCell(Utf16Le(COMPACT_ROOT_CLASS));
  b.PatchCellU32(root, NK_CLASS_NAME, root_class);
  b.PatchCellU16(root, NK_CLASS_LENGTH, static_cast<uint16_t>(2 * std::u16string_view(COMPACT_ROOT_CLASS).size()));
  const uint32_t deep_class = b.AddCell(Utf16Le(u"Deep\u00E9"));
  b.PatchCellU32(deep, NK_CLASS_NAME, deep_class);
  b.PatchCellU16(deep, NK_CLASS_LENGTH, 10);
  b.SetRoot(root);
  hive.bytes = b.Finish();
  const Bytes& out = hive.bytes;

  const std::string deep_path = COMPACT_DEEP_KEY;
  log.Key("ROOT", root, "");
  log.ClassName("ROOT", root, root_class, "");
  log.ClassName("Deep", deep, deep_class, deep_path);
  log.ValueList("root value list", root_values, count(values.size()), "");
  for (const RootValue& v : values) {
    const std::string shown = v.utf8.empty() ? "(unnamed)" : v.utf8;
    log.Value(v.utf8, v.index, "", shown);
    if (v.resident) continue;
    const uint32_t data = GetU32(out, HiveBuilder::FileOffset(v.index) + VK_DATA_OFFSET);
    log.Size("data " + shown, data, "", v.utf8);
    if (v.data.size() <= BIG_DATA_SEGMENT) continue;
    log.Field("db count", data, DB_SEGMENT_COUNT, 2, "", v.utf8);
    log.Field("db segment list", data, DB_SEGMENT_LIST, 4, "", v.utf8);
    const uint32_t list = GetU32(out, HiveBuilder::FileOffset(data) + DB_SEGMENT_LIST);
    log.Size("db segment list", list, "", v.utf8);
    for (uint32_t i = 0; i < GetU16(out, HiveBuilder::FileOffset(data) + DB_SEGMENT_COUNT); ++i) {
      log.Field("db segment entry " + std::to_string(i), list, 4 + 4 * i, 4, "", v.utf8);
      log.Size("db segment " + std::to_string(i), GetU32(out, HiveBuilder::FileOffset(list) + 4 + 4 * i), "",
               v.utf8);
    }
  }
  log.Size("sk", sk);
  LogDescriptor(log, descriptor, HiveBuilder::FileOffset(sk) + SK_DESCRIPTOR, "");
  log.List("ri", ri, 2, 4, deep_path);
  log.List("li", li, 2, 4, "Beta");
  log.List("lh", lh, 2, 8, deep_path);
  log.List("lf volatile", vol_list, 1, 8, "Vol");
  log.Key("Alpha", alpha, "Alpha");
  log.Key("Beta", beta, "Beta");
  log.Key("Delta", delta, "Delta");
  log.Key("Gamma", gamma, deep_path);
  log.List("lf Gamma", gamma_list, 1, 8, deep_path);
  log.Key("Deep", deep, deep_path);
  log.ValueList("Deep value list", deep_values, 2, deep_path);
  log.Value("Cell", cell, deep_path, "Cell");
  log.Value("Dword", dword, deep_path, "Dword");
  log.Size("data Cell", cell_data, deep_path, "Cell");
  log.Size("sk Deep", deep_sk, deep_path);
  LogDescriptor(log, deep_descriptor, HiveBuilder::FileOffset(deep_sk) + SK_DESCRIPTOR, deep_path);
  log.Key("Vol", vol, "Vol");

  log.Add("regf signature", 0x000, 4);
  log.Add("root cell", 0x024, 4);
  for (uint64_t at = HIVE_BASE; at + 12 <= out.size();) {
    log.Add("hbin signature", at, 4);
    log.Add("hbin offset", at + 4, 4);
    log.Add("hbin length", at + 8, 4);
    const uint32_t length = GetU32(out, at + 8);
    if (length == 0) break;
    at += length;
  }
  return hive;
}

}  // namespace keyscout::test
