// CSV (RFC 4180, UTF-8, CR LF after each row): a header row, then a row per
// key and per value, and a row per place that could not be read.
#include "app/messages.h"
#include "app/record_writer.h"
#include "hive/value_decode.h"
#include "hive/values.h"
#include "text/record_time.h"

namespace keyscout {

namespace {

constexpr std::string_view CSV_HEADER = "hive,path,state,last_written,value_name,value_type,value_size,value_data";
// With -r: where a deleted record was found, and whether its path is whole.
constexpr std::string_view CSV_ORIGIN_HEADER = ",found_in,offset,path_complete";
constexpr std::string_view CSV_ROW_END = "\r\n";
constexpr std::string_view CSV_ERROR_TYPE = "error";
// Room for a number column and its comma.
constexpr size_t NUMBER_COLUMN_MOST = 24;

// Choice: a text field whose first character a spreadsheet takes for the
// start of a formula gets a ' before it, inside the quotes: a hostile hive's
// names and data must not run a formula on the analyst's machine. Every text
// field is quoted, so that no name or text needs a rule of its own.
bool StartsFormula(std::u16string_view text) {
  if (text.empty()) return false;
  switch (text.front()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
      return true;
    default:
      return false;
  }
}

// A quoted text field, with the formula mark where needed.
void PutField(Console& out, std::u16string_view text) {
  out.Ascii(StartsFormula(text) ? "\"'" : "\"");
  PutText(out, TextStyle::kCsv, text);
  out.Ascii("\"");
}

// A value's data as one quoted field: the text, or the list's texts joined
// by line feeds, as their items come; a number as it is.
class CsvData : public RecordDataSink {
 public:
  explicit CsvData(Console& out) : RecordDataSink(out, TextStyle::kCsv) {}

  void Number(uint64_t value, int) override {
    char* at = out_.Room(NUMBER_COLUMN_MOST);
    out_.Commit(at + PutDecimal(value, at));
    number_ = true;
  }
  // True when anything was written.
  bool written() const { return texts() != 0 || number_; }
  // Closes the field of texts.
  void Finish() {
    if (texts() != 0) out_.Ascii("\"");
  }

 private:
  void OpenText(std::u16string_view first) override {
    if (texts() == 0) {
      out_.Ascii(StartsFormula(first) ? "\"'" : "\"");
    } else {
      out_.Ascii("\n");
    }
  }
  void CloseText() override {}

  bool number_ = false;
};

class CsvWriter : public RecordWriter {
 public:
  CsvWriter(const HiveImage& image, std::u16string_view hive_path, bool origins, Console& out)
      : image_(image), out_(out), origins_(origins) {
    std::string escaped;
    hive_field_ = std::string(StartsFormula(hive_path) ? "\"'" : "\"") +
                  std::string(EscapeInto(&escaped, TextStyle::kCsv, hive_path)) + "\",";
    out_.Ascii(CSV_HEADER);
    if (origins_) out_.Ascii(CSV_ORIGIN_HEADER);
    out_.Ascii(CSV_ROW_END);
  }

  void BeginKey(const KeyRecord& key) override {
    // The columns every row of this key starts with.
    row_.assign(hive_field_);
    row_.append(StartsFormula(key.path) ? "\"'" : "\"");
    row_.append(path_.Update(key.path));
    row_.push_back('"');
    row_.push_back(',');
    row_.append(key.state);
    row_.push_back(',');
    if (key.fields->last_written) {
      char time[RECORD_TIME_MOST];
      row_.append(time, PutIsoTime(MakeRecordTime(*key.fields->last_written), time));
    }
    row_.push_back(',');
    path_complete_ = key.origin == nullptr || key.origin->path_complete;
    out_.Ascii(row_);
    out_.Ascii(",,,");
    PutOrigin(key.origin);
    out_.Ascii(CSV_ROW_END);
  }

  void Value(const ValueRecord& value) override {
    out_.Ascii(row_);
    PutValueColumns(value);
  }

  void LooseValue(const ValueRecord& value) override {
    out_.Ascii(hive_field_);
    out_.Ascii("\"\",");
    out_.Ascii(REC_STATE_DELETED);
    out_.Ascii(",,");
    path_complete_ = false;
    PutValueColumns(value);
  }

  void EndKey() override {}

  void Error(std::u16string_view path, std::string_view reason) override {
    out_.Ascii(hive_field_);
    PutField(out_, path);
    out_.Ascii(",,,,");
    out_.Ascii(CSV_ERROR_TYPE);
    out_.Ascii(",,\"");
    out_.Ascii(reason);
    out_.Ascii("\"");
    PutOrigin(nullptr);
    out_.Ascii(CSV_ROW_END);
  }

 private:
  // The columns from value_name on, and the row's end.
  void PutValueColumns(const ValueRecord& value) {
    if (value.typed) PutField(out_, value.name);
    char* at = out_.Room(3 * NUMBER_COLUMN_MOST);
    *at++ = ',';
    if (value.data == nullptr && value.origin == nullptr) {
      at = Copy(at, CSV_ERROR_TYPE);
    } else if (value.type < VALUE_TYPE_COUNT) {
      for (const char16_t* c = ValueTypeName(value.type); *c != 0; ++c) *at++ = static_cast<char>(*c);
    } else {
      at += PutDecimal(value.type, at);
    }
    *at++ = ',';
    if (value.typed) at += PutDecimal(value.size, at);
    *at++ = ',';
    out_.Commit(at);
    if (value.data != nullptr) {
      PutData(*value.data);
    } else if (value.origin == nullptr) {
      out_.Ascii("\"");
      out_.Ascii(value.error);
      out_.Ascii("\"");
    }
    PutOrigin(value.origin);
    out_.Ascii(CSV_ROW_END);
  }

  // With -r, the origin's columns: empty for a record of the live tree.
  void PutOrigin(const RecordOrigin* origin) {
    if (!origins_) return;
    if (origin == nullptr) {
      out_.Ascii(",,,");
      return;
    }
    out_.Ascii(",");
    out_.Ascii(origin->found_in);
    char* at = out_.Room(NUMBER_COLUMN_MOST);
    *at++ = ',';
    at += PutDecimal(origin->offset, at);
    out_.Commit(at);
    out_.Ascii(path_complete_ ? ",true" : ",false");
  }

  static char* Copy(char* at, std::string_view text) {
    for (const char c : text) *at++ = c;
    return at;
  }

  // The decoded form where the type has one and the length fits it, else
  // the bytes in hexadecimal.
  //
  // Choice: a text that ends before its data does (bytes after its zero
  // unit) is shown as the text alone: a spreadsheet is read for the text,
  // and the JSON Lines export keeps those bytes in its "raw".
  void PutData(const ValueDataPlace& place) {
    CsvData data(out_);
    DecodeRecordData(image_, place, data, &scratch_);
    data.Finish();
    if (!HasDecodedForm(place.type) || !data.fits()) {
      PutDataHex(out_, image_, place);
    } else if (!data.written()) {
      out_.Ascii("\"\"");  // a list without texts
    }
  }

  const HiveImage& image_;
  Console& out_;
  bool origins_;
  // Whether the path of the rows now written is whole.
  bool path_complete_ = true;
  // The hive's field and the comma after it, the start of every row.
  std::string hive_field_;
  std::string row_;
  EscapedPath path_{TextStyle::kCsv};
  std::vector<uint8_t> scratch_;
};

}  // namespace

std::unique_ptr<RecordWriter> MakeCsvWriter(const HiveImage& image, std::u16string_view hive_path, bool origins,
                                            Console& out) {
  return std::make_unique<CsvWriter>(image, hive_path, origins, out);
}

}  // namespace keyscout
