#include "hive/image.h"

#include "hive/base_block.h"

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

bool CheckKeyNode(const HiveImage& image, Cell key) {
  return ValidateCell(image, key) && image.Signature(key) == SIG_NK;
}

bool CheckValueKey(const HiveImage& image, Cell value) {
  return ValidateCell(image, value) && image.Signature(value) == SIG_VK;
}

bool CheckHiveImage(const HiveImage& image) {
  return HasHiveSignatures(image) && ValidateCell(image, RootKeyCell(image));
}

}  // namespace keyscout
