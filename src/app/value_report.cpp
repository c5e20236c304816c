#include "app/value_report.h"

#include <cstdlib>
#include <optional>

#include "app/hex_dump.h"
#include "app/messages.h"
#include "hive/value_data.h"
#include "hive/values.h"
#include "platform/dump_file.h"

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

}  // namespace

const ValueBufferAllocator& DefaultValueBufferAllocator() {
  static const ValueBufferAllocator allocator{AllocateZeroed, std::free};
  return allocator;
}

bool WriteDumpFile(const std::u16string& value_name, const std::u16string& output_file, const uint8_t* data,
                   uint64_t length, const EvidenceFiles& evidence, Console& out) {
  out.Format(MSG_DUMP_START, {value_name, output_file});
  DumpFile file;
  if (!file.Create(output_file, evidence)) {
    out.Format(MSG_CANNOT_CREATE_DUMP, {output_file});
    return false;
  }
  if (!file.WriteAll(data, length)) {
    out.Format(MSG_CANNOT_WRITE_DUMP, {output_file});
    return false;
  }
  file.Close();
  out.Wide(MSG_DUMP_DONE);
  return true;
}

bool ShowValue(const HiveImage& image, Cell key, const std::u16string& value_name,
               const std::u16string& output_file, bool dump, const EvidenceFiles& evidence, Console& out,
               const ValueBufferAllocator& allocator) {
  const std::optional<Cell> value = FindValue(image, key, value_name);
  if (!value) {
    out.Format(MSG_CANNOT_FIND_VALUE, {value_name});
    return false;
  }
  const uint32_t length = GetValueDataLength(image, *value);
  // Choice: every byte of the data comes from the file, so a stored length
  // beyond the file's size cannot be read. It is refused with the message of
  // any unreadable value before a buffer is allocated: a damaged length
  // field must not make the tool reserve up to 2 GiB, nor fail silently
  // where that much memory cannot be had.
  if (length > image.size()) {
    out.Format(MSG_CANNOT_READ_VALUE, {value_name});
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
    out.Format(MSG_CANNOT_READ_VALUE, {value_name});
    return false;
  }
  out.Format(MSG_VALUE_HEADER, {value_name, length, ValueTypeName(type)});
  out.Wide(MSG_VALUE_RULE);
  PrintHexDump(buffer.data(), length < VALUE_DUMP_SHOWN ? length : VALUE_DUMP_SHOWN, out);
  if (dump && !WriteDumpFile(value_name, output_file, buffer.data(), length, evidence, out)) return false;
  return true;
}

}  // namespace keyscout
