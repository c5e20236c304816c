#include "app/record_writer.h"

#include "hive/value_decode.h"

namespace keyscout {

namespace {

// Bytes of value data turned into hexadecimal per step: one big-data
// segment's worth, copied out of the file and written while in the cache.
constexpr uint64_t HEX_CHUNK = 16384;

}  // namespace

std::optional<ExportFormat> ExportFormatNamed(std::u16string_view word) {
  if (word == u"jsonl") return ExportFormat::kJsonLines;
  if (word == u"csv") return ExportFormat::kCsv;
  if (word == u"body") return ExportFormat::kBodyfile;
  return std::nullopt;
}

std::unique_ptr<RecordWriter> MakeRecordWriter(ExportFormat format, const HiveImage& image,
                                               std::u16string_view hive_path, Console& out) {
  switch (format) {
    case ExportFormat::kJsonLines:
      return MakeJsonWriter(image, hive_path, out);
    case ExportFormat::kCsv:
      return MakeCsvWriter(image, hive_path, out);
    case ExportFormat::kBodyfile:
      return MakeBodyfileWriter(hive_path, out);
  }
  return nullptr;
}

void PutText(Console& out, TextStyle style, std::u16string_view text) {
  char* at = out.Room(ESCAPED_UNIT_MOST * (text.size() + 1));
  char16_t pending = 0;
  const size_t n = EscapeUnits(style, text, &pending, at);
  out.Commit(at + n + EscapeEnd(style, &pending, at + n));
}

std::string_view EscapeInto(std::string* buffer, TextStyle style, std::u16string_view text) {
  const size_t most = ESCAPED_UNIT_MOST * (text.size() + 1);
  if (buffer->size() < most) buffer->resize(most);
  char16_t pending = 0;
  const size_t n = EscapeUnits(style, text, &pending, buffer->data());
  return std::string_view(buffer->data(), n + EscapeEnd(style, &pending, buffer->data() + n));
}

std::u16string_view HiveFileName(std::u16string_view hive_path) {
  // Choice: a backslash ends a folder's name on every system, as it does on
  // Windows; a POSIX file whose own name holds one is rare, and its name
  // then shows from the backslash on.
  const size_t slash = hive_path.find_last_of(u"/\\");
  return slash == std::u16string_view::npos ? hive_path : hive_path.substr(slash + 1);
}

void PutDataHex(Console& out, const HiveImage& image, const ValueDataPlace& place) {
  uint8_t chunk[HEX_CHUNK];
  for (uint32_t i = 0; i < ValueDataPieceCount(place); ++i) {
    const ByteReader piece = ValueDataPiece(image, place, i);
    for (uint64_t at = 0; at < piece.size(); at += HEX_CHUNK) {
      const uint64_t n = piece.size() - at < HEX_CHUNK ? piece.size() - at : HEX_CHUNK;
      if (!piece.Copy(at, n, chunk)) return;
      char* room = out.Room(2 * n);
      PutLowerHex(chunk, static_cast<size_t>(n), room);
      out.Commit(room + 2 * n);
    }
  }
}

bool DecodeRecordData(const HiveImage& image, const ValueDataPlace& place, DecodedValueSink& sink,
                      std::vector<uint8_t>* scratch) {
  if (!HasDecodedForm(place.type)) return false;
  const ByteReader data = GatherValueData(image, place, scratch);
  uint64_t covered = 0;
  return !data.IsNull() && DecodeValueData(data, place.type, sink, &covered) && covered == place.length;
}

}  // namespace keyscout
