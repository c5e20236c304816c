// A hive whose one key holds a value list, for the tests of the value walk,
// the value lookup and the value listing.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/listings.h"
#include "hive/values.h"
#include "support/hive_builder.h"
#include "support/string_sink.h"

namespace keyscout::test {

inline constexpr char HEADER[] = "Key values information:\nHCELL_INDEX\tValue type\tValue name\n";

struct KeyWithValues {
  Bytes bytes;
  uint32_t key = 0;
  HiveImage image() const { return HiveImage(bytes.data(), bytes.size()); }
};

// Finishes the hive with a root key "Key" whose value list holds `entries`.
inline KeyWithValues Finish(HiveBuilder& b, const std::vector<uint32_t>& entries) {
  KeySpec shape;
  shape.name = u"Key";
  shape.value_count = static_cast<uint32_t>(entries.size());
  if (!entries.empty()) shape.value_list = b.ValueList(entries);
  const uint32_t key = b.Key(shape);
  b.SetRoot(key);
  return {b.Finish(), key};
}

// What -e prints for the key.
inline std::string Listing(const KeyWithValues& k) {
  StringSink sink;
  {
    Console out(sink);
    ListValues(k.image(), Cell{k.key}, out);
  }
  return sink.text;
}

inline std::string Footer(uint32_t count) {
  return "----------------\nKey values count : " + std::to_string(count) + "\n";
}

inline std::string Row(uint32_t index, const std::string& type, const std::string& name) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", index);
  return std::string(hex) + "\t" + type + "\t" + name + "\n";
}

// The HCELL_INDEX of the value FindValue gives, or nothing.
inline std::optional<uint32_t> Find(const KeyWithValues& k, std::u16string_view name) {
  const std::optional<Cell> found = FindValue(k.image(), Cell{k.key}, name);
  if (!found) return std::nullopt;
  return found->index;
}

// A value with 4 resident bytes.
inline ValueSpec Named(const std::u16string& name, uint32_t type = 4) {
  ValueSpec shape;
  shape.name = name;
  shape.type = type;
  shape.data_size = 0x80000004u;
  return shape;
}

}  // namespace keyscout::test
