#include "app/record_writer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
                                               std::u16string_view hive_path, bool origins, Console& out) {
  switch (format) {
    case ExportFormat::kJsonLines:
      return MakeJsonWriter(image, hive_path, out);
    case ExportFormat::kCsv:
      return MakeCsvWriter(image, hive_path, origins, out);
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

namespace {

// How many units `a` and `b` begin with alike, eight at a time while they
// can: every record of a walk shares most of its path with the last one.
size_t CommonPrefix(std::u16string_view a, std::u16string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  size_t i = 0;
#if defined(__SSE2__)
  for (; n - i >= 8; i += 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data() + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(x, y)) != 0xFFFF) break;
  }
#endif
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

}  // namespace

std::string_view EscapedPath::Update(std::u16string_view path) {
  // The names both paths hold whole, up to the last backslash they share.
  const size_t same = CommonPrefix(units_, path);
  while (!names_.empty() && names_.back().first > same) names_.pop_back();
  size_t units = names_.empty() ? 0 : names_.back().first;
  length_ = names_.empty() ? 0 : names_.back().second;
  units_.resize(same);
  units_.append(path.substr(same));
  const size_t most = length_ + ESCAPED_UNIT_MOST * (path.size() - units + 1);
  if (bytes_.size() < most) bytes_.resize(most);
  while (units <= path.size()) {
    size_t end = path.find(u'\\', units);
    if (end == std::u16string_view::npos) end = path.size();
    char16_t pending = 0;
    length_ += EscapeUnits(style_, path.substr(units, end - units), &pending, bytes_.data() + length_);
    length_ += EscapeEnd(style_, &pending, bytes_.data() + length_);
    if (end == path.size()) break;
    // The backslash between two names: escaped in JSON alone.
    if (style_ == TextStyle::kJson) bytes_[length_++] = '\\';
    bytes_[length_++] = '\\';
    units = end + 1;
    names_.emplace_back(units, length_);
  }
  return std::string_view(bytes_.data(), length_);
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
      const size_t n = static_cast<size_t>(piece.size() - at < HEX_CHUNK ? piece.size() - at : HEX_CHUNK);
      if (!piece.Copy(at, n, chunk)) return;
      char* room = out.Room(2 * n);
      PutLowerHex(chunk, n, room);
      out.Commit(room + 2 * n);
    }
  }
}

void RecordDataSink::Open(std::u16string_view first) {
  OpenText(first);
  ++texts_;
  in_text_ = true;
}

void RecordDataSink::TextPart(std::u16string_view units) {
  if (!in_text_) Open(units);
  char* at = out_.Room(ESCAPED_UNIT_MOST * (units.size() + 1));
  out_.Commit(at + EscapeUnits(style_, units, &pending_, at));
}

void RecordDataSink::TextEnd() {
  if (!in_text_) Open({});
  char* at = out_.Room(ESCAPED_UNIT_MOST);
  out_.Commit(at + EscapeEnd(style_, &pending_, at));
  CloseText();
  in_text_ = false;
}

bool DecodeRecordData(const HiveImage& image, const ValueDataPlace& place, DecodedValueSink& sink,
                      std::vector<uint8_t>* scratch) {
  if (!HasDecodedForm(place.type)) return false;
  const ByteReader data = GatherValueData(image, place, scratch);
  uint64_t covered = 0;
  return !data.IsNull() && DecodeValueData(data, place.type, sink, &covered) && covered == place.length;
}

}  // namespace keyscout
