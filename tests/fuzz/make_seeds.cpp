// Writes the fuzzer's seed corpus: small generated hives that between them
// reach every cell type the tool reads (nk, lf, lh, li, ri, vk, resident data,
// data cells, db big data, sk with a full descriptor) and name a key path and
// a value name in the base block's file-name area, where the fuzz target
// looks for them; a few carry transaction logs after the hive, each behind
// the fuzz target's mark (a new-format log whose entry adds a key and grows
// the hive, two that follow each other, an old-format one); one holds
// deleted keys and values in its free space, for -r. All but the big-data
// seeds fit in 8 KiB, so the fuzzer mutates small inputs quickly.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hive/layout.h"
#include "support/compact_hive.h"
#include "support/free_space.h"
#include "support/hive_builder.h"
#include "support/log_builder.h"
#include "support/sample_hive.h"

namespace {

using keyscout::test::Bytes;

void PutString(Bytes& hive, size_t at, const std::u16string& text) {
  for (size_t i = 0; i < text.size() && i < 31; ++i) {
    hive[at + 2 * i] = static_cast<uint8_t>(text[i]);
    hive[at + 2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

// The fuzz target's mark between the hive and each log (fuzz_hive.cpp).
constexpr char LOG_MARK[] = "\x00\xFFKSLOG\xFF\x00";

void Write(const std::string& dir, const std::string& name, Bytes hive, const std::u16string& key,
           const std::u16string& value, const std::vector<Bytes>& logs = {}) {
  PutString(hive, 0x30, key);
  PutString(hive, 0x70, value);
  // A hive with logs keeps a valid base block, so that its replay takes the
  // path of a sound hive; the others keep theirs as they were.
  if (!logs.empty()) keyscout::test::FixBaseChecksum(hive);
  for (const Bytes& log : logs) {
    hive.insert(hive.end(), LOG_MARK, LOG_MARK + sizeof LOG_MARK - 1);
    hive.insert(hive.end(), log.begin(), log.end());
  }
  std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(hive.data()), static_cast<std::streamsize>(hive.size()));
}

// A live key, and below it a deleted subtree (a key with two values, one
// resident, and its subkey) merged into one free cell, then a value no key
// holds, alone in a free cell of its own.
Bytes DeletedHive() {
  using keyscout::test::KeySpec;
  keyscout::test::HiveBuilder b;
  const uint64_t time = 132223104001234567;  // 2020
  const uint32_t live = b.Key(KeySpec{.name = u"Live", .last_written = time});
  const uint32_t start = b.cursor();
  const std::vector<uint32_t> values = {b.Value(u"Text", 1, keyscout::test::Utf16Le(u"gone")),
                                        b.Value(u"Word", 4, {7, 0, 0, 0})};
  const uint32_t gone = b.Key(KeySpec{.name = u"Gone", .parent = live, .value_count = 2,
                                      .value_list = b.ValueList(values), .last_written = time});
  b.Key(KeySpec{.name = u"Below", .parent = gone, .last_written = time});
  const uint32_t end = b.cursor();
  const uint32_t alone = b.Value(u"Alone", 3, {1, 2, 3, 4, 5, 6, 7, 8});
  const uint32_t root = b.Key(KeySpec{.name = u"ROOT", .extra_flags = 0x0C, .stable_count = 1,
                                      .stable_list = b.LeafList("lf", {live}), .last_written = time});
  b.PatchCellU32(live, keyscout::NK_PARENT, root);
  b.SetRoot(root);
  Bytes hive = b.Finish();
  keyscout::test::MergeFreeCells(hive, start, end);
  keyscout::test::FreeCell(hive, alone);
  return hive;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::filesystem::create_directories(dir);
  const Bytes small = keyscout::test::BuildCompactHive(false).bytes;
  const Bytes big = keyscout::test::BuildCompactHive(true).bytes;
  Write(dir, "small-deep", small, u"Gamma\\Deep", u"Cell");
  Write(dir, "small-alpha", small, u"alpha", u"Caf\u00E9");
  Write(dir, "small-delta", small, u"Delta", u"\u041A\u043B\u044E\u0447");
  Write(dir, "small-vol", small, u"Vol", u"Empty");
  Write(dir, "small-root", small, u"", u"Resident");
  Write(dir, "big-data", big, u"Gamma\\Deep", u"Big");
  const Bytes sample = keyscout::test::BuildSampleHive();
  Write(dir, "sample-session-manager", sample, u"ControlSet001\\Control\\Session Manager", u"BootExecute");
  Write(dir, "sample-services", sample, u"ControlSet001\\Services\\ACPI", u"ImagePath");
  Write(dir, "deleted", DeletedHive(), u"Live", u"Text");

  const keyscout::test::LoggedHive grown = keyscout::test::BuildLoggedHive(true);
  Write(dir, "logged-grows", grown.hive, u"New", u"V", {grown.log});
  const keyscout::test::LoggedHive logged = keyscout::test::BuildLoggedHive(false);
  const Bytes first_page(logged.fresh.begin() + 0x1000, logged.fresh.begin() + 0x2000);
  const keyscout::test::LogEntry again{.pages = {{0, first_page}}};
  Write(dir, "logged-two-logs", logged.hive, u"Old", u"V",
        {logged.log, keyscout::test::NewLog(logged.fresh, 2, {again, again})});
  Write(dir, "logged-old-format", logged.hive, u"Old", u"V",
        {keyscout::test::OldLog(logged.fresh, 2, 1, 0x2000, {{0, first_page}})});
  return 0;
}
