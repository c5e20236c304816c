// Writes the fuzzer's seed corpus: small generated hives that between them
// reach every cell type the tool reads (nk, lf, lh, li, ri, vk, resident data,
// data cells, db big data, sk) and name a key path and a value name in the
// base block's file-name area, where the fuzz target looks for them.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/hive_builder.h"
#include "support/sample_hive.h"

namespace {

using keyscout::test::Bytes;
using keyscout::test::HiveBuilder;
using keyscout::test::KeySpec;
using keyscout::test::TreeKey;

void PutString(Bytes& hive, size_t at, const std::u16string& text) {
  for (size_t i = 0; i < text.size() && i < 31; ++i) {
    hive[at + 2 * i] = static_cast<uint8_t>(text[i]);
    hive[at + 2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

void Write(const std::string& dir, const std::string& name, Bytes hive, const std::u16string& key,
           const std::u16string& value) {
  PutString(hive, 0x30, key);
  PutString(hive, 0x70, value);
  std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(hive.data()), static_cast<std::streamsize>(hive.size()));
}

// A key whose subkeys hang off an "ri" over an "li" and an "lf" leaf, with a
// value of every storage form.
Bytes ListForms() {
  HiveBuilder b;
  const uint32_t a = b.Key(KeySpec{.name = u"Alpha"});
  const uint32_t m = b.Key(KeySpec{.name = u"Mike"});
  const uint32_t z = b.Key(KeySpec{.name = u"zulu"});
  const uint32_t li_key = b.Key(KeySpec{.name = u"Li", .stable_count = 1, .stable_list = b.LeafList("li", {a})});
  const uint32_t ri = b.IndexRoot({b.LeafList("li", {a, li_key}), b.LeafList("lf", {m, z})});
  const std::vector<uint32_t> values = {
      b.Value(u"Resident", 4, {1, 0, 0, 0}),
      b.Value(u"Cell", 1, keyscout::test::Pattern(40)),
      b.Value(u"Big", 3, keyscout::test::Pattern(16345 + 100)),
      b.Value(u"", 1, {'x', 0}),
  };
  const uint32_t root = b.Key(KeySpec{.name = u"R", .stable_count = 4, .stable_list = ri, .value_count = 4,
                                      .value_list = b.ValueList(values)});
  b.SetRoot(root);
  return b.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::filesystem::create_directories(dir);
  const Bytes sample = keyscout::test::BuildSampleHive();
  Write(dir, "sample-session-manager", sample, u"ControlSet001\\Control\\Session Manager", u"BootExecute");
  Write(dir, "sample-big-value", sample, u"ControlSet001\\Control\\Session Manager", u"ResourcePolicy");
  Write(dir, "sample-services", sample, u"ControlSet001\\Services\\ACPI", u"ImagePath");
  Write(dir, "sample-volatile", sample, u"Names\\VolatileSession", u"x");
  Write(dir, "list-forms", ListForms(), u"Li\\Alpha", u"Big");
  Write(dir, "list-forms-resident", ListForms(), u"zulu", u"Resident");
  return 0;
}
