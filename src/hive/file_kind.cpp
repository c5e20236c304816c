#include "hive/file_kind.h"

#include <span>

#include "hive/base_block.h"
#include "hive/log_layout.h"

namespace keyscout {

namespace {

// The first bytes of the formats a hive is often found wrapped in, or
// mistaken for.
struct Signature {
  FileKind kind;
  std::span<const uint8_t> bytes;
};

constexpr uint8_t XZ[] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
constexpr uint8_t GZIP[] = {0x1F, 0x8B};
constexpr uint8_t ZIP[] = {'P', 'K', 0x03, 0x04};
constexpr uint8_t SEVEN_ZIP[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint8_t BZIP2[] = {'B', 'Z', 'h'};
constexpr uint8_t EVTX[] = {'E', 'l', 'f', 'F', 'i', 'l', 'e', 0x00};
constexpr Signature SIGNATURES[] = {
    {FileKind::kXz, XZ},     {FileKind::kGzip, GZIP},   {FileKind::kZip, ZIP},
    {FileKind::kSevenZip, SEVEN_ZIP}, {FileKind::kBzip2, BZIP2}, {FileKind::kEventLog, EVTX},
};

bool StartsWith(const ByteReader& file, std::span<const uint8_t> bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    uint8_t byte = 0;
    if (!file.U8(i, &byte) || byte != bytes[i]) return false;
  }
  return true;
}

}  // namespace

FileKindCheck CheckFileKind(const ByteReader& file) {
  FileKindCheck check;
  uint32_t signature = 0;
  check.has_regf = file.U32(BASE_SIGNATURE, &signature) && signature == SIG_REGF;
  check.has_hbin = HasFirstHbin(file);
  if (check.has_regf) {
    uint32_t type = 0;
    // Choice: the file type counts only in a base block whose checksum
    // holds, as it does in every log: a hive whose base block is damaged is
    // not taken for a log by a stray number.
    if (BaseBlockChecksumValid(file) && file.U32(BASE_FILE_TYPE, &type)) {
      if (type == FILE_TYPE_OLD_LOG || type == FILE_TYPE_OLD_LOG_ALT) check.kind = FileKind::kOldFormatLog;
      if (type == FILE_TYPE_NEW_LOG) check.kind = FileKind::kNewFormatLog;
    }
    if (check.kind == FileKind::kUnknown && check.has_hbin) check.kind = FileKind::kHive;
    return check;
  }
  for (const Signature& known : SIGNATURES) {
    if (StartsWith(file, known.bytes)) check.kind = known.kind;
  }
  return check;
}

}  // namespace keyscout
