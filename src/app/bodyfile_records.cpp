// The bodyfile of the Sleuth Kit 3 (what mactime reads): one line per key,
// its last written time as the modification time. Values and the places
// that could not be read have no line; a deleted key's name ends in
// " (deleted)".
#include "app/record_writer.h"
#include "text/record_time.h"

namespace keyscout {

namespace {

// What ends the name of a deleted key.
constexpr std::string_view BODYFILE_DELETED = " (deleted)";
// Room for the fields after the name: the cell, the time and the zeros.
constexpr size_t BODYFILE_TAIL_MOST = 64;

class BodyfileWriter : public RecordWriter {
 public:
  BodyfileWriter(std::u16string_view hive_path, Console& out) : out_(out) {
    std::string name;
    line_start_ = "0|" + std::string(EscapeInto(&name, TextStyle::kBodyfile, HiveFileName(hive_path))) + "\\";
  }

  // 0|<hive file name>\<path>|<cell>|0|0|0|0|0|<mtime>|0|0
  void BeginKey(const KeyRecord& key) override {
    out_.Ascii(line_start_);
    out_.Ascii(path_.Update(key.path));
    if (key.origin != nullptr) out_.Ascii(BODYFILE_DELETED);
    char* at = out_.Room(BODYFILE_TAIL_MOST);
    *at++ = '|';
    at += PutDecimal(key.cell.index, at);
    for (const char c : {'|', '0', '|', '0', '|', '0', '|', '0', '|', '0', '|'}) *at++ = c;
    // Choice: a time before 1970, which a bodyfile cannot hold, is 0, which
    // mactime reads as no time at all; an unreadable one too.
    at += PutDecimal(key.fields->last_written ? FileTimeToUnixSeconds(*key.fields->last_written) : 0, at);
    for (const char c : {'|', '0', '|', '0', '\n'}) *at++ = c;
    out_.Commit(at);
  }
  void Value(const ValueRecord&) override {}
  void EndKey() override {}
  void Error(std::u16string_view, std::string_view) override {}
  void LooseValue(const ValueRecord&) override {}

 private:
  Console& out_;
  std::string line_start_;
  EscapedPath path_{TextStyle::kBodyfile};
};

}  // namespace

std::unique_ptr<RecordWriter> MakeBodyfileWriter(std::u16string_view hive_path, Console& out) {
  return std::make_unique<BodyfileWriter>(hive_path, out);
}

}  // namespace keyscout
