#include "hive/image.h"

namespace keyscout {

uint64_t CellLength(const HiveImage& image, Cell cell) {
  int32_t size = 0;
  if (!image.CellI32(cell, CELL_SIZE, &size)) return 0;
  return size < 0 ? static_cast<uint64_t>(-int64_t{size}) : static_cast<uint64_t>(size);
}

Cell RootKeyCell(const HiveImage& image) {
  uint32_t index = UNREADABLE_CELL_INDEX;
  if (!image.reader().U32(BASE_ROOT_CELL, &index)) return Cell{UNREADABLE_CELL_INDEX};
  return Cell{index};
}

namespace {

// True when the page at hive-relative offset `page` is the start of an hbin:
// it reads "hbin" and its offset field names that very page.
bool IsHbinStart(const ByteReader& reader, uint32_t page) {
  uint32_t sig = 0;
  uint32_t self = 0;
  const uint64_t at = HIVE_BASE + page;
  return reader.U32(at + HBIN_SIGNATURE, &sig) && sig == SIG_HBIN &&
         reader.U32(at + HBIN_OFFSET, &self) && self == page;
}

}  // namespace

bool ValidateCell(const HiveImage& image, Cell cell) {
  const ByteReader& reader = image.reader();
  int32_t size = 0;
  if (!image.CellI32(cell, CELL_SIZE, &size) || size >= 0) return false;

  // Choice: the cell is measured against the hbin that encloses it. Real hives
  // have hbins longer than 4 KiB, and for a cell beyond such an hbin's first
  // page the word 8 bytes into the cell's own page is the inside of another
  // cell, not a length. So look back page by page (a bounded distance, so a
  // file without hbin headers stays cheap) for the hbin header; for a cell in
  // an hbin's first page this is the plain page test. When no header is found,
  // the page's own word is used, as for a file that has none.
  const uint32_t own_page = cell.index - (cell.index % PAGE_SIZE);
  uint32_t hbin = own_page;
  for (uint32_t steps = 0; steps < HBIN_MAX_PAGES; ++steps) {
    if (IsHbinStart(reader, hbin)) break;
    if (hbin == 0 || steps + 1 == HBIN_MAX_PAGES) {
      hbin = own_page;
      break;
    }
    hbin -= PAGE_SIZE;
  }

  uint32_t length = 0;
  if (!reader.U32(HIVE_BASE + hbin + HBIN_LENGTH, &length)) return false;
  // The header found must enclose the cell. A later hbin whose own header is
  // damaged makes the search settle on an earlier one that ends before the
  // cell; measuring against it would lose every cell of the damaged hbin.
  // Its first page still holds its length at the usual place, so fall back
  // to the page test there, as for a file without headers.
  if (hbin != own_page && uint64_t{hbin} + length <= cell.index) {
    hbin = own_page;
    if (!reader.U32(HIVE_BASE + hbin + HBIN_LENGTH, &length)) return false;
  }
  const uint32_t o = cell.index - hbin;
  // o plus the cell's length (a size of -0x80000000 is a length of
  // 0x80000000), in 64 bits so that nothing wraps.
  if (uint64_t{o} + CellLength(image, cell) > length) return false;
  if (o < HBIN_HEADER_SIZE) return false;
  return true;
}

std::optional<uint32_t> ComputeBaseBlockChecksum(const ByteReader& reader) {
  if (!reader.Contains(0, BASE_CHECKSUM)) return std::nullopt;
  uint32_t sum = 0;
  for (uint64_t at = 0; at < BASE_CHECKSUM; at += 4) {
    uint32_t word = 0;
    if (!reader.U32(at, &word)) return std::nullopt;
    sum ^= word;
  }
  if (sum == 0) return 1u;
  if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  return sum;
}

bool BaseBlockChecksumValid(const ByteReader& reader) {
  const std::optional<uint32_t> computed = ComputeBaseBlockChecksum(reader);
  uint32_t stored = 0;
  return computed && reader.U32(BASE_CHECKSUM, &stored) && stored == *computed;
}

bool IsHiveDirty(const ByteReader& hive) {
  uint32_t primary = 0;
  uint32_t secondary = 0;
  if (!BaseBlockChecksumValid(hive)) return true;
  if (!hive.U32(BASE_PRIMARY_SEQUENCE, &primary) || !hive.U32(BASE_SECONDARY_SEQUENCE, &secondary)) {
    return true;
  }
  return primary != secondary;
}

BaseBlockFields ReadBaseBlockFields(const HiveImage& image) {
  const ByteReader& reader = image.reader();
  const auto u32 = [&](uint64_t at) {
    uint32_t v = 0;
    return reader.U32(at, &v) ? std::optional<uint32_t>(v) : std::nullopt;
  };
  BaseBlockFields fields;
  fields.primary_sequence = u32(BASE_PRIMARY_SEQUENCE);
  fields.secondary_sequence = u32(BASE_SECONDARY_SEQUENCE);
  uint64_t written = 0;
  if (reader.U64(BASE_LAST_WRITTEN, &written)) fields.last_written = written;
  fields.major_version = u32(BASE_MAJOR_VERSION);
  fields.minor_version = u32(BASE_MINOR_VERSION);
  fields.dirty = IsHiveDirty(reader);
  return fields;
}

bool HasHiveSignatures(const HiveImage& image) {
  uint32_t sig = 0;
  if (!image.reader().U32(BASE_SIGNATURE, &sig) || sig != SIG_REGF) return false;
  return image.reader().U32(HIVE_BASE + HBIN_SIGNATURE, &sig) && sig == SIG_HBIN;
}

bool CheckHiveImage(const HiveImage& image) {
  return HasHiveSignatures(image) && ValidateCell(image, RootKeyCell(image));
}

}  // namespace keyscout
