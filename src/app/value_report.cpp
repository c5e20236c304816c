#include "app/value_report.h"

#include <cstdlib>
#include <optional>

#include "app/diagnostics.h"
#include "app/hex_dump.h"
#include "app/messages.h"
#include "hive/value_data.h"
#include "hive/value_decode.h"
#include "hive/values.h"
#include "platform/dump_file.h"
#include "text/numbers.h"
#include "text/utf8.h"

namespace keyscout {

namespace {

// The hex dump shows at most this many bytes; the dump file gets them all.
constexpr uint32_t VALUE_DUMP_SHOWN = 64;

void* AllocateZeroed(size_t size) { return std::calloc(size, 1); }

// Frees the buffer through the allocator that gave it, on every path.
class ValueBuffer {
 public:
  ValueBuffer(const ValueBufferAllocator& allocator, size_t size)
      : allocator_(allocator), data_(static_cast<uint8_t*>(allocator.allocate(size))) {}
  ~ValueBuffer() {
    if (data_ != nullptr) allocator_.release(data_);
  }
  ValueBuffer(const ValueBuffer&) = delete;
  ValueBuffer& operator=(const ValueBuffer&) = delete;
  uint8_t* data() const { return data_; }

 private:
  const ValueBufferAllocator& allocator_;
  uint8_t* data_;
};

// Prints the items of a value's data as the lines of the -d block. A text is
// text from the hive: its control characters show as \xNN.
class DecodedPrinter : public DecodedValueSink {
 public:
  explicit DecodedPrinter(Console& out) : out_(out) {}

  void TextPart(std::u16string_view units) override {
    if (!in_line_) out_.Wide(MSG_DECODED_ITEM);
    in_line_ = true;
    if (units.empty()) return;
    // A long text comes in parts, and a part may end between the two halves
    // of a surrogate pair: the first half waits for the second, so that the
    // pair is written as the one character it is.
    if (pending_ != 0) {
      const char16_t pair[2] = {pending_, units.front()};
      const bool joined = IsLowSurrogate(units.front());
      out_.HiveText(std::u16string_view(pair, joined ? 2 : 1));
      pending_ = 0;
      if (joined) units.remove_prefix(1);
    }
    if (!units.empty() && IsHighSurrogate(units.back())) {
      pending_ = units.back();
      units.remove_suffix(1);
    }
    out_.HiveText(units);
  }

  void TextEnd() override {
    if (!in_line_) out_.Wide(MSG_DECODED_ITEM);
    if (pending_ != 0) out_.HiveText(std::u16string_view(&pending_, 1));
    pending_ = 0;
    out_.Wide(MSG_DECODED_ITEM_END);
    in_line_ = false;
  }

  void Number(uint64_t value, int hex_digits) override {
    out_.Format(MSG_DECODED_NUMBER, {DecimalText(value), HexText(value, hex_digits)});
  }

  void LengthDoesNotFit() override { out_.Wide(MSG_DECODED_BAD_LENGTH); }

 private:
  Console& out_;
  bool in_line_ = false;
  char16_t pending_ = 0;  // a high surrogate that ended the last part
};

}  // namespace

const ValueBufferAllocator& DefaultValueBufferAllocator() {
  static const ValueBufferAllocator allocator{AllocateZeroed, std::free};
  return allocator;
}

bool WriteDumpFile(std::u16string_view value_name, const std::u16string& output_file, const uint8_t* data,
                   uint64_t length, const Evidence& evidence, Console& out, Console& err) {
  out.Format(MSG_DUMP_START, {value_name, output_file});
  DumpFile file;
  if (!file.Create(output_file, evidence)) {
    out.Format(MSG_CANNOT_CREATE_DUMP, {output_file});
    NoteFileProblem(MSG_NOTE_CANNOT_CREATE, output_file, file.problem(), true, err);
    return false;
  }
  if (!file.WriteAll(data, length)) {
    out.Format(MSG_CANNOT_WRITE_DUMP, {output_file});
    NoteFileProblem(MSG_NOTE_CANNOT_WRITE, output_file, file.problem(), true, err);
    return false;
  }
  file.Close();
  out.Wide(MSG_DUMP_DONE);
  return true;
}

bool ShowValue(const HiveImage& image, Cell key, const ValueRequest& request, const Evidence& evidence,
               Console& out, Console& err, const ValueBufferAllocator& allocator) {
  const std::u16string_view shown = request.unnamed ? std::u16string_view(MSG_UNNAMED_VALUE) : request.name;
  const std::optional<Cell> value =
      request.unnamed ? FindUnnamedValue(image, key) : FindValue(image, key, request.name);
  if (!value) {
    out.Format(MSG_CANNOT_FIND_VALUE, {shown});
    return false;
  }
  const uint32_t length = GetValueDataLength(image, *value);
  // Choice: every byte of the data comes from the file, so a stored length
  // beyond the file's size cannot be read. It is refused with the message of
  // any unreadable value before a buffer is allocated: a damaged length
  // field must not make the tool reserve up to 2 GiB, nor fail silently
  // where that much memory cannot be had.
  if (length > image.size()) {
    out.Format(MSG_CANNOT_READ_VALUE, {shown});
    return false;
  }
  // A value without data still gets a buffer, of one byte, so that it goes
  // through the same steps as any other. Zero-filled, so that no byte the
  // read did not write can ever be shown or dumped, and so that a large
  // value's pages are touched once, by the copy.
  const size_t capacity = length == 0 ? 1 : length;
  const ValueBuffer buffer(allocator, capacity);
  if (buffer.data() == nullptr) return false;

  uint32_t type = 0;
  if (!ReadValueData(image, *value, &type, buffer.data(), capacity)) {
    out.Format(MSG_CANNOT_READ_VALUE, {shown});
    return false;
  }
  out.Format(MSG_VALUE_HEADER, {shown, length, ValueTypeName(type)});
  out.Wide(MSG_VALUE_RULE);
  PrintHexDump(buffer.data(), length < VALUE_DUMP_SHOWN ? length : VALUE_DUMP_SHOWN, out);
  // The decoded data reads the same buffer as the dump file: the value is
  // read from the hive once. Choice: it comes right after the hex dump, which
  // it explains, and before the dump file's lines, which report an action.
  if (request.decode && HasDecodedForm(type)) {
    out.Wide(MSG_DECODED_TITLE);
    DecodedPrinter printer(out);
    DecodeValueData(ByteReader(buffer.data(), length), type, printer);
  }
  if (request.dump && !WriteDumpFile(shown, request.output_file, buffer.data(), length, evidence, out, err)) {
    return false;
  }
  return true;
}

}  // namespace keyscout
