// JSON Lines (RFC 8259): one object per key, its values inside it, and one
// object per place that could not be read.
#include <cstring>

#include "app/messages.h"
#include "app/record_writer.h"
#include "hive/value_decode.h"
#include "hive/values.h"
#include "text/record_time.h"

namespace keyscout {

namespace {

constexpr std::string_view TIMESTAMP_DESC = "Key Last Written";
// Room for a number field: its name, a colon and 20 digits or "null".
constexpr size_t NUMBER_FIELD_MOST = 48;

char* Copy(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

// ,"name":value or ,"name":null
char* PutNumberField(char* at, std::string_view name, const std::optional<uint64_t>& value) {
  at = Copy(at, name);
  return value ? at + PutDecimal(*value, at) : Copy(at, "null");
}

// ,"name":"0000ABCD" or ,"name":null
char* PutCellField(char* at, std::string_view name, const std::optional<uint32_t>& index) {
  at = Copy(at, name);
  if (!index) return Copy(at, "null");
  *at++ = '"';
  PutHex8(*index, at);
  at[8] = '"';
  return at + 9;
}

// The data of one value as JSON: a string, an array of strings or a number,
// written as its items come, after ,"data": (nothing at all for a number
// whose length does not fit).
class JsonData : public RecordDataSink {
 public:
  JsonData(Console& out, bool list) : RecordDataSink(out, TextStyle::kJson), list_(list) {}

  void Number(uint64_t value, int) override {
    char* at = out_.Room(NUMBER_FIELD_MOST);
    out_.Commit(PutNumberField(at, ",\"data\":", value));
  }
  // Closes the list; an empty one too.
  void Finish() {
    if (!list_) return;
    if (texts() == 0) out_.Ascii(",\"data\":[");
    out_.Ascii("]");
  }

 private:
  void OpenText(std::u16string_view) override {
    if (!list_) {
      out_.Ascii(",\"data\":\"");
    } else {
      out_.Ascii(texts() == 0 ? ",\"data\":[\"" : ",\"");
    }
  }
  void CloseText() override { out_.Ascii("\""); }

  bool list_;
};

class JsonWriter : public RecordWriter {
 public:
  JsonWriter(const HiveImage& image, std::u16string_view hive_path, Console& out) : image_(image), out_(out) {
    hive_ = EscapeInto(&hive_buffer_, TextStyle::kJson, hive_path);
    file_name_ = EscapeInto(&file_name_buffer_, TextStyle::kJson, HiveFileName(hive_path));
  }

  void BeginKey(const KeyRecord& key) override {
    const KeyNodeFields& f = *key.fields;
    const std::string_view path = path_.Update(key.path);
    const std::optional<RecordTime> time =
        f.last_written ? std::optional<RecordTime>(MakeRecordTime(*f.last_written)) : std::nullopt;
    out_.Ascii("{\"hive\":\"");
    out_.Ascii(hive_);
    out_.Ascii("\",\"path\":\"");
    out_.Ascii(path);
    out_.Ascii("\",\"name\":\"");
    PutText(out_, TextStyle::kJson, key.name);
    char* at = out_.Room(2 * NUMBER_FIELD_MOST + RECORD_TIME_MOST);
    at = PutCellField(Copy(at, "\""), ",\"cell\":", key.cell.index);
    at = Copy(at, ",\"last_written\":");
    if (time) {
      *at++ = '"';
      at += PutIsoTime(*time, at);
      *at++ = '"';
    } else {
      at = Copy(at, "null");
    }
    out_.Commit(at);
    if (!f.class_name) {
      if (key.origin == nullptr) out_.Ascii(",\"class\":null");
    } else if (!f.class_name->empty()) {
      out_.Ascii(",\"class\":\"");
      PutText(out_, TextStyle::kJson, *f.class_name);
      out_.Ascii("\"");
    }
    at = out_.Room(6 * NUMBER_FIELD_MOST + key.state.size());
    at = PutNumberField(at, ",\"flags\":", f.flags);
    at = PutNumberField(at, ",\"subkey_count\":", f.stable_subkeys);
    at = PutNumberField(at, ",\"volatile_subkey_count\":", f.volatile_subkeys);
    at = PutNumberField(at, ",\"value_count\":", f.values);
    at = PutCellField(at, ",\"security_cell\":", f.security);
    at = Copy(Copy(Copy(at, ",\"state\":\""), key.state), "\"");
    out_.Commit(at);
    if (key.origin != nullptr) PutOrigin(*key.origin, true);
    PutTimesketchFields(time);
    out_.Ascii(",\"message\":\"");
    out_.Ascii(file_name_);
    out_.Ascii("\\\\");
    out_.Ascii(path);
    out_.Ascii("\",\"values\":[");
    values_ = 0;
  }

  void Value(const ValueRecord& value) override {
    out_.Ascii(values_++ == 0 ? "{" : ",{");
    if (value.typed) {
      out_.Ascii("\"name\":\"");
      PutText(out_, TextStyle::kJson, value.name);
      out_.Ascii(value.unnamed ? "\",\"unnamed\":true,\"type\":" : "\",\"type\":");
      char* at = out_.Room(3 * NUMBER_FIELD_MOST);
      if (value.type < VALUE_TYPE_COUNT) {
        *at++ = '"';
        for (const char16_t* c = ValueTypeName(value.type); *c != 0; ++c) *at++ = static_cast<char>(*c);
        *at++ = '"';
      } else {
        at += PutDecimal(value.type, at);
      }
      at = PutNumberField(at, ",\"size\":", value.size);
      out_.Commit(PutCellField(at, ",\"cell\":", value.cell.index));
    } else {
      out_.Commit(PutCellField(out_.Room(NUMBER_FIELD_MOST), "\"cell\":", value.cell.index));
    }
    if (value.origin != nullptr) PutOrigin(*value.origin, false);
    if (value.data != nullptr) {
      JsonData data(out_, value.data->type == VALUE_TYPE_MULTI_SZ);
      const bool whole = DecodeRecordData(image_, *value.data, data, &scratch_);
      data.Finish();
      if (!whole || !data.fits()) {
        out_.Ascii(",\"raw\":\"");
        PutDataHex(out_, image_, *value.data);
        out_.Ascii("\"");
      }
    } else if (value.origin == nullptr) {
      out_.Ascii(",\"error\":\"");
      out_.Ascii(value.error);
      out_.Ascii("\"");
    } else if (value.origin->data_reused) {
      out_.Ascii(",\"data_reused\":true");
    }
    out_.Ascii("}");
  }

  void EndKey() override { out_.Ascii("]}\n"); }

  void Error(std::u16string_view path, std::string_view reason) override {
    out_.Ascii("{\"hive\":\"");
    out_.Ascii(hive_);
    out_.Ascii("\",\"path\":\"");
    PutText(out_, TextStyle::kJson, path);
    out_.Ascii("\",\"error\":\"");
    out_.Ascii(reason);
    out_.Ascii("\"}\n");
  }

  void LooseValue(const ValueRecord& value) override {
    out_.Ascii("{\"hive\":\"");
    out_.Ascii(hive_);
    out_.Ascii("\",\"state\":\"");
    out_.Ascii(REC_STATE_DELETED);
    out_.Ascii("\"");
    if (value.origin != nullptr) PutOrigin(*value.origin, false);
    out_.Ascii(",\"values\":[");
    values_ = 0;
    Value(value);
    EndKey();
  }

 private:
  // Timesketch's three fields: the time to the microsecond and in
  // microseconds since 1970 (both null outside the years 1601 to 9999), and
  // what the time is.
  void PutTimesketchFields(const std::optional<RecordTime>& time) {
    char* at = out_.Room(2 * NUMBER_FIELD_MOST + RECORD_TIME_MOST + TIMESTAMP_DESC.size());
    at = Copy(at, ",\"datetime\":");
    const size_t n = time ? PutTimesketchTime(*time, at + 1) : 0;
    if (n == 0) {
      at = Copy(at, "null,\"timestamp\":null");
    } else {
      *at = '"';
      at += n + 1;
      at = Copy(at, "\",\"timestamp\":");
      at += PutSignedDecimal(FileTimeToUnixMicroseconds(time->filetime), at);
    }
    at = Copy(Copy(Copy(at, ",\"timestamp_desc\":\""), TIMESTAMP_DESC), "\"");
    out_.Commit(at);
  }

  // ,"found_in":"slack","offset":123 and, for a key, whether its path is
  // complete and, when not, the parent cell its highest key names.
  void PutOrigin(const RecordOrigin& origin, bool key) {
    out_.Ascii(",\"found_in\":\"");
    out_.Ascii(origin.found_in);
    char* at = out_.Room(3 * NUMBER_FIELD_MOST);
    at = PutNumberField(Copy(at, "\""), ",\"offset\":", origin.offset);
    if (key) {
      at = Copy(at, origin.path_complete ? ",\"path_complete\":true" : ",\"path_complete\":false");
      if (!origin.path_complete) at = PutCellField(at, ",\"parent_cell\":", origin.parent_cell);
    }
    out_.Commit(at);
  }

  const HiveImage& image_;
  Console& out_;
  std::string hive_buffer_;
  std::string_view hive_;
  std::string file_name_buffer_;
  std::string_view file_name_;
  EscapedPath path_{TextStyle::kJson};
  size_t values_ = 0;
  std::vector<uint8_t> scratch_;
};

}  // namespace

std::unique_ptr<RecordWriter> MakeJsonWriter(const HiveImage& image, std::u16string_view hive_path, Console& out) {
  return std::make_unique<JsonWriter>(image, hive_path, out);
}

}  // namespace keyscout
