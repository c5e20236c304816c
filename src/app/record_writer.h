// The records of an export (-x): one writer per format, each taking keys,
// their values and the places that could not be read, and writing them
// straight into the console's buffer. A record carries its own path and
// state, so the same writers serve keys found outside the live tree.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/image.h"
#include "hive/key_node.h"
#include "hive/value_data.h"
#include "hive/value_decode.h"
#include "text/console.h"
#include "text/numbers.h"
#include "text/record_text.h"

namespace keyscout {

enum class ExportFormat { kJsonLines, kCsv, kBodyfile };

// The format a -x word names ("jsonl", "csv", "body"), or nothing.
std::optional<ExportFormat> ExportFormatNamed(std::u16string_view word);

// Where a record outside the live tree was found (-r): what a deleted key or
// value adds after its state.
struct RecordOrigin {
  // "free cell" or "slack".
  std::string_view found_in;
  // The file offset of its nk or vk record.
  uint64_t offset = 0;
  // A key's: false when its path begins below the root, at the highest key
  // its parent links reach, which names `parent_cell` as its parent.
  bool path_complete = true;
  uint32_t parent_cell = 0;
  // A value's: a cell its data needs is allocated to something else now,
  // so it has none.
  bool data_reused = false;
};

struct KeyRecord {
  // Below the root, backslash-separated ("" for the root), and the key's own
  // name; the units as stored.
  std::u16string_view path;
  std::u16string_view name;
  Cell cell;
  // As stored; a field that is nothing is written as null (the class name:
  // nothing when unreadable, empty when the key has none), or left out in a
  // record with an origin.
  const KeyNodeFields* fields = nullptr;
  // "allocated" for a key of the live tree, "deleted" for one found outside it.
  std::string_view state;
  // Null for a key of the live tree.
  const RecordOrigin* origin = nullptr;
};

struct ValueRecord {
  Cell cell;
  // False when nothing but the cell is known: name, type and size are not
  // written.
  bool typed = false;
  std::u16string_view name;
  bool unnamed = false;
  uint32_t type = 0;
  uint32_t size = 0;
  // The data, checked whole; null when it cannot be given, and `error`
  // then says why (a value with an origin has no error: its data is left
  // out).
  const ValueDataPlace* data = nullptr;
  std::string_view error;
  // Null for a value of the live tree.
  const RecordOrigin* origin = nullptr;
};

// Writes one format. For each key: BeginKey, Value for each of its values,
// EndKey. Error may come between keys.
class RecordWriter {
 public:
  virtual ~RecordWriter() = default;
  virtual void BeginKey(const KeyRecord& key) = 0;
  virtual void Value(const ValueRecord& value) = 0;
  virtual void EndKey() = 0;
  // A place that could not be read, in the key at `path`.
  virtual void Error(std::u16string_view path, std::string_view reason) = 0;
  // A deleted value that no key found holds: a record of its own, without a
  // path. Between keys.
  virtual void LooseValue(const ValueRecord& value) = 0;
};

// A writer of `format` onto `out` for the hive at `hive_path` (as given on
// the command line), whose value data it reads from `image`. The CSV writer
// writes its header row at once, with the columns of records' origins when
// `origins` (-r) says they may come.
std::unique_ptr<RecordWriter> MakeRecordWriter(ExportFormat format, const HiveImage& image,
                                               std::u16string_view hive_path, bool origins, Console& out);

// What the writers share.

// Writes `text` escaped in `style` into `out`.
void PutText(Console& out, TextStyle style, std::u16string_view text);

// `text` escaped in `style`, written into `*buffer` (grown as needed, never
// shrunk, so that a record after record costs no allocation); the view lasts
// until the buffer's next use.
std::string_view EscapeInto(std::string* buffer, TextStyle style, std::u16string_view text);

// A key path escaped in one style, kept from record to record: a path that
// shares its first names with the last one (a key after its parent or its
// sibling, as a walk gives them) has only its own names escaped. Escaping
// is name by name the same, since a backslash never splits a character.
class EscapedPath {
 public:
  explicit EscapedPath(TextStyle style) : style_(style) {}
  // The escaped form of `path`, valid until the next call.
  std::string_view Update(std::u16string_view path);

 private:
  TextStyle style_;
  std::u16string units_;
  std::string bytes_;
  size_t length_ = 0;
  // Where each name after a backslash starts: in units, and in bytes.
  std::vector<std::pair<size_t, size_t>> names_;
};

// The file's own name in a hive path: what follows its last slash or
// backslash.
std::u16string_view HiveFileName(std::u16string_view hive_path);

// Writes the whole data at `place` as lower-case hexadecimal.
void PutDataHex(Console& out, const HiveImage& image, const ValueDataPlace& place);

// The texts of a value's decoded data, escaped in one style and written as
// their parts come: what the JSON Lines and CSV writers share. A format says
// what opens a text (given its first units; texts() counts those before it)
// and what closes it, and how a number is written.
class RecordDataSink : public DecodedValueSink {
 public:
  void TextPart(std::u16string_view units) final;
  void TextEnd() final;
  void LengthDoesNotFit() final { fits_ = false; }
  // False once the data's length did not fit its number type.
  bool fits() const { return fits_; }
  size_t texts() const { return texts_; }

 protected:
  RecordDataSink(Console& out, TextStyle style) : out_(out), style_(style) {}
  virtual void OpenText(std::u16string_view first) = 0;
  virtual void CloseText() = 0;
  Console& out_;

 private:
  void Open(std::u16string_view first);

  TextStyle style_;
  bool in_text_ = false;
  bool fits_ = true;
  size_t texts_ = 0;
  char16_t pending_ = 0;
};

// Hands the decoded items of the data at `place` to `sink` (DecodeValueData;
// nothing for a type without a decoded form, or data that cannot be
// gathered). True when the items account for every byte of the data, so that
// no raw form is needed. `scratch` holds data in segments while it is
// decoded.
bool DecodeRecordData(const HiveImage& image, const ValueDataPlace& place, DecodedValueSink& sink,
                      std::vector<uint8_t>* scratch);

std::unique_ptr<RecordWriter> MakeJsonWriter(const HiveImage& image, std::u16string_view hive_path, Console& out);
std::unique_ptr<RecordWriter> MakeCsvWriter(const HiveImage& image, std::u16string_view hive_path, bool origins,
                                            Console& out);
std::unique_ptr<RecordWriter> MakeBodyfileWriter(std::u16string_view hive_path, Console& out);

}  // namespace keyscout
