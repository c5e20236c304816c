#include "hive/deleted_records.h"

#include <algorithm>
#include <unordered_map>

#include "hive/base_block.h"
#include "hive/key_node.h"
#include "hive/names.h"
#include "hive/subkey_lists.h"

namespace keyscout {

namespace {

// 1990-01-01, as a FILETIME count (100 ns units since 1601).
constexpr uint64_t FILETIME_1990 = 0x01B41E2A18D64000;
// How much later than anything live a deleted key may have been written.
//
// Choice: a year. Windows updates a key's parent when it deletes the key,
// so a deleted key is rarely later than the live tree; on the real hives
// the most was 9 hours (a SAM whose base block holds no time). Tools that
// delete without touching the parent make the deleted key the newest of all
// when it was; a year keeps those while still refusing the far future that
// stray bytes read as a time mostly give.
constexpr uint64_t FILETIME_GRACE = 366ull * 864000000000ull;
// Key and value names Windows writes are at most 255 characters.
constexpr uint32_t STORED_NAME_MAX_CHARS = 255;
// The value flags the format defines: an 8-bit name, and a tombstone.
constexpr uint16_t VK_KNOWN_FLAGS = 0x0003;
// The smallest record searched for: a value key without a name.
constexpr uint64_t SMALLEST_RECORD = VK_NAME;
constexpr uint64_t CELL_ALIGNMENT = 8;
constexpr uint32_t NO_LINK = 0xFFFFFFFFu;
// Cell indexes with the top bit set name volatile storage, never a file's.
constexpr uint32_t VOLATILE_CELL = 0x80000000u;
// How many free cells tell whether the hive keeps its free list in them.
constexpr size_t FREE_CELLS_SAMPLED = 4096;

uint64_t RoundUp8(uint64_t n) { return (n + CELL_ALIGNMENT - 1) & ~(CELL_ALIGNMENT - 1); }

// True when `index` can name a cell: on an 8-byte boundary inside the file.
bool LinkFits(uint32_t index, uint64_t file_size) {
  return index % CELL_ALIGNMENT == 0 && HIVE_BASE + uint64_t{index} < file_size;
}

bool OptionalLinkFits(uint32_t index, uint64_t file_size) {
  return index == NO_LINK || LinkFits(index, file_size);
}

bool NameLengthFits(uint16_t length, bool compressed) {
  return compressed ? length <= STORED_NAME_MAX_CHARS : length % 2 == 0 && length <= 2 * STORED_NAME_MAX_CHARS;
}

// The checks every record shares: it lies in its free space, over no taken
// byte, and its size field is that of a free cell that holds it. Windows
// makes a freed cell's size positive and leaves it so when it merges the
// cell into a free neighbour, so a record inside a merged free cell still
// carries its own.
RecordCheck CheckRecordSpace(const HiveImage& image, Cell cell, uint64_t extent, uint64_t space_end,
                             const RecordLimits& limits) {
  if (cell.FileOffset() + extent > space_end) return RecordCheck::kOutsideSpace;
  if (limits.taken != nullptr && limits.taken->Overlaps(cell, extent)) return RecordCheck::kOutsideSpace;
  int32_t size = 0;
  if (!image.CellI32(cell, CELL_SIZE, &size)) return RecordCheck::kOutsideSpace;
  if (size <= 0 || size % static_cast<int32_t>(CELL_ALIGNMENT) != 0 || static_cast<uint64_t>(size) < extent) {
    return RecordCheck::kCellSize;
  }
  return RecordCheck::kPlausible;
}

}  // namespace

RecordCheck CheckDeletedKey(const HiveImage& image, Cell cell, uint64_t space_end, const RecordLimits& limits) {
  uint16_t flags = 0;
  uint16_t name_length = 0;
  if (!image.CellU16(cell, NK_FLAGS, &flags) || !image.CellU16(cell, NK_NAME_LENGTH, &name_length)) {
    return RecordCheck::kOutsideSpace;
  }
  const RecordCheck space = CheckRecordSpace(image, cell, uint64_t{NK_NAME} + name_length, space_end, limits);
  if (space != RecordCheck::kPlausible) return space;
  if (name_length == 0 || !NameLengthFits(name_length, (flags & NK_FLAG_COMPRESSED_NAME) != 0)) {
    return RecordCheck::kName;
  }
  // Every field below lies before the name, inside the record just checked.
  uint64_t written = 0;
  uint32_t stable = 0, volatile_count = 0, values = 0;
  uint32_t parent = 0, stable_list = 0, volatile_list = 0, value_list = 0, security = 0, class_name = 0;
  if (!image.reader().U64(cell.FileOffset() + NK_LAST_WRITTEN, &written) ||
      !image.CellU32(cell, NK_STABLE_COUNT, &stable) || !image.CellU32(cell, NK_VOLATILE_COUNT, &volatile_count) ||
      !image.CellU32(cell, NK_VALUE_COUNT, &values) || !image.CellU32(cell, NK_PARENT, &parent) ||
      !image.CellU32(cell, NK_STABLE_LIST, &stable_list) || !image.CellU32(cell, NK_VOLATILE_LIST, &volatile_list) ||
      !image.CellU32(cell, NK_VALUE_LIST, &value_list) || !image.CellU32(cell, NK_SECURITY, &security) ||
      !image.CellU32(cell, NK_CLASS_NAME, &class_name)) {
    return RecordCheck::kOutsideSpace;
  }
  // Without a time to compare with (no live key, no written time), only the
  // lower bound holds.
  if (written < FILETIME_1990 || (limits.latest_written != 0 && written - FILETIME_GRACE > limits.latest_written)) {
    return RecordCheck::kTime;
  }
  // Each subkey takes a key node of at least NK_NAME bytes, each value a
  // list entry of 4.
  const uint64_t size = limits.file_size;
  if (stable > size / NK_NAME || volatile_count > size / NK_NAME || values > size / VALUE_LIST_ENTRY_SIZE) {
    return RecordCheck::kCounts;
  }
  // A volatile list lives in memory only: a key saved while it had one
  // keeps that index (its top bit set), which names nothing in the file.
  if (!LinkFits(parent, size) || !OptionalLinkFits(security, size) || !OptionalLinkFits(stable_list, size) ||
      ((volatile_list & VOLATILE_CELL) == 0 && !LinkFits(volatile_list, size)) ||
      (values != 0 && !LinkFits(value_list, size)) ||
      !OptionalLinkFits(class_name, size)) {
    return RecordCheck::kLinks;
  }
  return RecordCheck::kPlausible;
}

RecordCheck CheckDeletedValue(const HiveImage& image, Cell cell, uint64_t space_end, const RecordLimits& limits) {
  uint16_t name_length = 0;
  uint16_t flags = 0;
  uint32_t data_size = 0;
  uint32_t data_offset = 0;
  if (!image.CellU16(cell, VK_NAME_LENGTH, &name_length) || !image.CellU16(cell, VK_FLAGS, &flags) ||
      !image.CellU32(cell, VK_DATA_SIZE, &data_size) || !image.CellU32(cell, VK_DATA_OFFSET, &data_offset)) {
    return RecordCheck::kOutsideSpace;
  }
  const RecordCheck space = CheckRecordSpace(image, cell, uint64_t{VK_NAME} + name_length, space_end, limits);
  if (space != RecordCheck::kPlausible) return space;
  if (!NameLengthFits(name_length, (flags & VALUE_NAME_COMPRESSED) != 0)) return RecordCheck::kName;
  if ((flags & ~VK_KNOWN_FLAGS) != 0) return RecordCheck::kFlags;
  const uint32_t length = data_size & ~VALUE_DATA_RESIDENT;
  if ((data_size & VALUE_DATA_RESIDENT) != 0) {
    return length <= VALUE_RESIDENT_MAX ? RecordCheck::kPlausible : RecordCheck::kData;
  }
  if (length > limits.file_size) return RecordCheck::kData;
  if (!LinkFits(data_offset, limits.file_size)) return RecordCheck::kLinks;
  return RecordCheck::kPlausible;
}

namespace {

// Where the hive bins end: as the base block declares them when that fits
// the file, else at the end of the file.
uint64_t HiveBinsEnd(const HiveImage& image) {
  uint32_t declared = 0;
  if (image.reader().U32(BASE_HIVE_BINS_SIZE, &declared) && declared != 0 && declared % PAGE_SIZE == 0 &&
      HIVE_BASE + uint64_t{declared} <= image.size()) {
    return HIVE_BASE + declared;
  }
  return image.size();
}

// The search: one pass over the cells of every hbin, then the links between
// what it found.
class Recovery {
 public:
  Recovery(const HiveImage& image, const LiveCells& live)
      : image_(image),
        live_(live),
        taken_(live.records),
        found_(image.size()),
        free_starts_(image.size()),
        bins_end_(HiveBinsEnd(image)) {
    // Cells are named by 32-bit indexes: nothing past that can be a record.
    const uint64_t reach = HIVE_BASE + uint64_t{0xFFFFFFFFu};
    search_end_ = image.size() < reach ? image.size() : reach;
    uint64_t latest = live.latest_written;
    const std::optional<uint64_t> written = ReadBaseBlockFields(image).last_written;
    if (written && *written > latest) latest = *written;
    limits_ = RecordLimits{image.size(), latest, &taken_};
  }

  DeletedRecords Run() {
    WalkHiveBins();
    free_links_ = HoldsFreeListLinks();
    ClaimValues();
    for (DeletedValue& value : out_.values) ResolveData(&value);
    for (size_t k = 0; k < out_.keys.size(); ++k) ResolvePath(k);
    for (DeletedKey& key : out_.keys) key.class_name = ReadDeletedClassName(key.cell);
    return std::move(out_);
  }

  // The test of a cell a deleted record links to: it must still be free
  // and whole, and lie on the same side of the hive bins' end as the record.
  // `content` says the cell holds bytes of data or text, which a free-list
  // link could have replaced unseen.
  CellVerdict FreeCellVerdict(Cell cell, uint64_t extent, bool past_bins, bool content) const {
    const uint64_t at = cell.FileOffset();
    if (cell.index % CELL_ALIGNMENT != 0 || at + extent > image_.size() || (at >= bins_end_) != past_bins) {
      return CellVerdict::kUnusable;
    }
    int32_t size = 0;
    if (!image_.CellI32(cell, CELL_SIZE, &size)) return CellVerdict::kUnusable;
    if (size < 0) {
      // Choice: an allocated cell that nothing live reaches and that holds
      // no record of its own is still the deleted value's. hivex leaves the
      // segment list and segments of big data allocated when it deletes a
      // value; Windows frees them, so there the case does not arise.
      const bool orphan = std::binary_search(orphans_.begin(), orphans_.end(), cell.index);
      return orphan && CellLength(image_, cell) >= extent && !live_.records.Overlaps(cell, extent) &&
                     !found_.Overlaps(cell, extent)
                 ? CellVerdict::kUsable
                 : CellVerdict::kTaken;
    }
    // Overlaid by a cell that has since been freed in turn (its size field
    // no longer covers the bytes), by a cell in use, or by a record.
    if (static_cast<uint64_t>(size) < extent || taken_.Overlaps(cell, extent) || found_.Overlaps(cell, extent)) {
      return CellVerdict::kTaken;
    }
    if (size % static_cast<int32_t>(CELL_ALIGNMENT) != 0) return CellVerdict::kUnusable;
    uint32_t first = 0;
    if (content && free_links_ && image_.CellU32(cell, DATA_BYTES, &first) && MayBeLink(first)) {
      return CellVerdict::kUnusable;
    }
    return CellVerdict::kUsable;
  }

 private:
  bool PastBins(Cell cell) const { return cell.FileOffset() >= bins_end_; }

  // True for the signatures of records a cell can hold (as opposed to data
  // and the lists without one).
  static bool HoldsRecord(uint16_t sig) {
    return sig == SIG_NK || sig == SIG_VK || sig == SIG_SK || sig == SIG_DB || sig == SIG_RI || IsLeafList(sig);
  }

  // True when `word` could be a link of the free list: -1 (its end) or a
  // cell index inside the file.
  bool MayBeLink(uint32_t word) const {
    return word == NO_LINK || (word >= HBIN_HEADER_SIZE && LinkFits(word, image_.size()));
  }

  void NoteFreeCell(Cell cell) {
    free_starts_.Mark(cell, 1);
    uint32_t first = 0;
    if (free_words_.size() < FREE_CELLS_SAMPLED && image_.CellU32(cell, DATA_BYTES, &first)) {
      free_words_.push_back(first);
    }
  }

  // Hives written by the oldest versions of Windows keep a list of free
  // cells in the cells themselves: the first word after a free cell's size
  // field names the next free cell (or is -1), replacing whatever the cell
  // held. Measured on the real hives: in those of Windows NT 4.0 most free
  // cells hold such a link, in every later one almost none.
  bool HoldsFreeListLinks() const {
    size_t links = 0;
    for (uint32_t word : free_words_) {
      if (word == NO_LINK || (word % CELL_ALIGNMENT == 0 && free_starts_.Contains(CellAt(word)))) ++links;
    }
    return links * 2 > free_words_.size();
  }

  // Every hbin from the first to the declared end, cell by cell; a page
  // without a sound hbin header, the rest of an hbin whose cells stop
  // chaining, and the file past the hive bins are searched as they lie.
  void WalkHiveBins() {
    const ByteReader& reader = image_.reader();
    uint64_t at = HIVE_BASE;
    while (at < bins_end_) {
      uint32_t sig = 0, self = 0, length = 0;
      if (reader.U32(at + HBIN_SIGNATURE, &sig) && sig == SIG_HBIN && reader.U32(at + HBIN_OFFSET, &self) &&
          self == at - HIVE_BASE && reader.U32(at + HBIN_LENGTH, &length) && length != 0 &&
          length % PAGE_SIZE == 0) {
        const uint64_t end = std::min(at + length, bins_end_);
        WalkCells(at + HBIN_HEADER_SIZE, end);
        at = end;
      } else {
        const uint64_t end = std::min(at + PAGE_SIZE, bins_end_);
        Search(at, end, FoundIn::kSlack);
        at = end;
      }
    }
    Search(bins_end_, image_.size(), FoundIn::kSlack);
  }

  void WalkCells(uint64_t at, uint64_t end) {
    while (at + CELL_ALIGNMENT <= end) {
      const Cell cell = CellAt(static_cast<uint32_t>(at - HIVE_BASE));
      const uint64_t length = CellLength(image_, cell);
      if (length < CELL_ALIGNMENT || length % CELL_ALIGNMENT != 0 || at + length > end) {
        Search(at, end, FoundIn::kSlack);
        return;
      }
      int32_t size = 0;
      if (!image_.CellI32(cell, CELL_SIZE, &size)) return;
      if (size > 0) {
        NoteFreeCell(cell);
        Search(at, at + length, FoundIn::kFreeCell);
      } else if (live_.records.Contains(cell)) {
        // The slack begins where the live record ends.
        uint64_t slack = at + CELL_ALIGNMENT;
        while (slack < at + length && live_.records.Contains(CellAt(static_cast<uint32_t>(slack - HIVE_BASE)))) {
          slack += CELL_ALIGNMENT;
        }
        Search(slack, at + length, FoundIn::kSlack);
      } else {
        // Choice: an allocated cell the live walk does not reach is left
        // alone, slack and all. Windows frees what it deletes, so such a
        // cell is still in use by something (a key under a damaged list, a
        // record of a kind the walk does not follow): its bytes are not
        // free space, and a record in it is not a deleted one.
        taken_.Mark(cell, length);
        if (!HoldsRecord(image_.Signature(cell))) orphans_.push_back(cell.index);
      }
      at += length;
    }
  }

  // Looks for records at every 8-byte boundary of [begin, end), file offsets.
  void Search(uint64_t begin, uint64_t end, FoundIn found_in) {
    if (end > search_end_) end = search_end_;
    begin = RoundUp8(begin);
    if (begin >= end || end - begin < SMALLEST_RECORD) return;
    for (uint64_t at = begin; at + SMALLEST_RECORD <= end; at += CELL_ALIGNMENT) {
      const Cell cell = CellAt(static_cast<uint32_t>(at - HIVE_BASE));
      const uint16_t sig = image_.Signature(cell);
      uint16_t name_length = 0;
      uint64_t extent = 0;
      if (sig == SIG_NK && CheckDeletedKey(image_, cell, end, limits_) == RecordCheck::kPlausible &&
          image_.CellU16(cell, NK_NAME_LENGTH, &name_length)) {
        out_.keys.emplace_back();
        out_.keys.back().cell = cell;
        out_.keys.back().found_in = found_in;
        extent = uint64_t{NK_NAME} + name_length;
      } else if (sig == SIG_VK && CheckDeletedValue(image_, cell, end, limits_) == RecordCheck::kPlausible &&
                 image_.CellU16(cell, VK_NAME_LENGTH, &name_length)) {
        out_.values.emplace_back();
        out_.values.back().cell = cell;
        out_.values.back().found_in = found_in;
        extent = uint64_t{VK_NAME} + name_length;
      } else {
        continue;
      }
      found_.Mark(cell, extent);
      // The record's own bytes are not searched again.
      at += RoundUp8(extent) - CELL_ALIGNMENT;
    }
  }

  // The record of `list` (sorted by cell) whose cell is `cell`, or nothing.
  template <typename Record>
  static std::optional<size_t> RecordAt(const std::vector<Record>& list, Cell cell) {
    const auto it = std::lower_bound(list.begin(), list.end(), cell.index,
                                     [](const Record& r, uint32_t index) { return r.cell.index < index; });
    if (it == list.end() || it->cell.index != cell.index) return std::nullopt;
    return static_cast<size_t>(it - list.begin());
  }

  // Gives each deleted key the values its value list still names, while the
  // list is intact. A value goes to the first key (in file order) to name it.
  void ClaimValues() {
    for (size_t k = 0; k < out_.keys.size(); ++k) {
      const Cell key = out_.keys[k].cell;
      uint32_t count = 0;
      uint32_t list_index = 0;
      if (!image_.CellU32(key, NK_VALUE_COUNT, &count) || count == 0 ||
          !image_.CellU32(key, NK_VALUE_LIST, &list_index)) {
        continue;
      }
      const Cell list = CellAt(list_index);
      const uint64_t extent = VALUE_LIST_ENTRIES + uint64_t{VALUE_LIST_ENTRY_SIZE} * count;
      if (FreeCellVerdict(list, extent, PastBins(key), false) != CellVerdict::kUsable) continue;
      for (uint64_t i = 0; i < count; ++i) {
        uint32_t index = 0;
        if (!image_.reader().U32(list.FileOffset() + VALUE_LIST_ENTRIES + VALUE_LIST_ENTRY_SIZE * i, &index)) break;
        const std::optional<size_t> v = RecordAt(out_.values, CellAt(index));
        if (!v || out_.values[*v].key != NO_DELETED_KEY || PastBins(CellAt(index)) != PastBins(key)) continue;
        out_.values[*v].key = k;
        out_.keys[k].values.push_back(*v);
      }
    }
  }

  struct CellTestContext {
    const Recovery* recovery;
    bool past_bins;
  };

  static CellVerdict DeletedCellTest(const void* context, const HiveImage&, Cell cell, uint64_t extent) {
    const auto* c = static_cast<const CellTestContext*>(context);
    // A big-data record and its segment list hold cell indexes, which a link
    // looks like; only the data itself is content.
    return c->recovery->FreeCellVerdict(cell, extent, c->past_bins, true);
  }

  void ResolveData(DeletedValue* value) const {
    const CellTestContext context{this, PastBins(value->cell)};
    switch (FindValueDataCells(image_, value->cell, DeletedCellTest, &context, &value->data_cells)) {
      case ValueCells::kResident:
      case ValueCells::kFound:
        value->data = DeletedData::kIntact;
        return;
      case ValueCells::kTaken:
        value->data = DeletedData::kReused;
        break;
      case ValueCells::kUnusable:
        value->data = DeletedData::kLost;
        break;
    }
    value->data_cells.clear();
  }

  // The whole name of the key at `cell`, as the export's walk reads it.
  std::u16string KeyName(Cell cell) {
    std::u16string name;
    if (!AppendWholeKeyName(image_, cell, &name, &name_scratch_)) name.clear();
    return name;
  }

  static void Append(std::u16string* path, const std::u16string& name) {
    if (!path->empty()) path->push_back(u'\\');
    path->append(name);
  }

  // Where a chain of parent links ends above a key: its path so far.
  struct ChainTop {
    std::u16string path;
    bool complete = false;
    uint32_t parent_cell = 0;
    std::optional<Cell> live_parent;
  };

  // The path of a key of the live tree, climbed through parent links that
  // the live walk found to agree with the lists. Remembered per key.
  ChainTop LivePath(Cell key) {
    std::vector<Cell> climb;
    ChainTop top;
    const Cell root = RootKeyCell(image_);
    for (Cell at = key;;) {
      const auto known = live_paths_.find(at.index);
      if (known != live_paths_.end()) {
        top = known->second;
        break;
      }
      if (at == root) {
        top = ChainTop{u"", true, 0, std::nullopt};
        live_paths_[at.index] = top;
        break;
      }
      climb.push_back(at);
      uint32_t parent = NO_LINK;
      // The live walk's links lead to keys walked earlier, so this ends;
      // the bound only guards against a hive that changes under it.
      if (climb.size() > live_paths_.size() + out_.keys.size() + NAME_BUFFER_CHARS ||
          !image_.CellU32(at, NK_PARENT, &parent) || parent % CELL_ALIGNMENT != 0 ||
          !live_.keys.Contains(CellAt(parent))) {
        // The highest key reached names a parent that cannot be followed.
        climb.pop_back();
        top = ChainTop{KeyName(at), false, parent, std::nullopt};
        live_paths_[at.index] = top;
        break;
      }
      at = CellAt(parent);
    }
    for (auto it = climb.rbegin(); it != climb.rend(); ++it) {
      Append(&top.path, KeyName(*it));
      live_paths_[it->index] = top;
    }
    return top;
  }

  // Follows the parent links from deleted key `k` through deleted keys to a
  // key of the live tree, or as far as they go; sets the path of every
  // deleted key on the way.
  void ResolvePath(size_t k) {
    if (resolved_.size() < out_.keys.size()) resolved_.assign(out_.keys.size(), kUnresolved);
    if (resolved_[k] == kResolved) return;
    std::vector<size_t> chain{k};
    resolved_[k] = kOnChain;
    ChainTop top;
    for (;;) {
      const DeletedKey& at = out_.keys[chain.back()];
      uint32_t parent = NO_LINK;
      if (!image_.CellU32(at.cell, NK_PARENT, &parent)) parent = NO_LINK;
      const Cell parent_cell = CellAt(parent);
      const std::optional<size_t> deleted = RecordAt(out_.keys, parent_cell);
      if (deleted && PastBins(parent_cell) == PastBins(at.cell)) {
        if (resolved_[*deleted] == kResolved) {
          const DeletedKey& above = out_.keys[*deleted];
          top = ChainTop{above.path, above.path_complete, above.parent_cell, above.live_parent};
          break;
        }
        if (resolved_[*deleted] == kUnresolved) {
          resolved_[*deleted] = kOnChain;
          chain.push_back(*deleted);
          continue;
        }
        // A loop of deleted keys: it ends at the key that closes it.
      } else if (!PastBins(at.cell) && parent % CELL_ALIGNMENT == 0 && live_.keys.Contains(parent_cell)) {
        top = LivePath(parent_cell);
        top.live_parent = parent_cell;
        break;
      }
      // The parent cannot be followed: the path begins at this key.
      top = ChainTop{std::u16string(), false, parent, std::nullopt};
      break;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      DeletedKey& key = out_.keys[*it];
      Append(&top.path, KeyName(key.cell));
      key.path = top.path;
      key.path_complete = top.complete;
      key.parent_cell = top.parent_cell;
      key.live_parent = top.live_parent;
      resolved_[*it] = kResolved;
    }
  }

  std::optional<std::u16string> ReadDeletedClassName(Cell key) const {
    uint16_t length = 0;
    uint32_t index = 0;
    if (!image_.CellU16(key, NK_CLASS_LENGTH, &length) || !image_.CellU32(key, NK_CLASS_NAME, &index)) {
      return std::nullopt;
    }
    if (length == 0) return std::u16string();
    const Cell cell = CellAt(index);
    if (FreeCellVerdict(cell, uint64_t{DATA_BYTES} + length, PastBins(key), true) != CellVerdict::kUsable) {
      return std::nullopt;
    }
    return DecodeClassName(image_, cell, length);
  }

  enum : uint8_t { kUnresolved, kOnChain, kResolved };

  const HiveImage& image_;
  const LiveCells& live_;
  CellSet taken_;  // the live records and every allocated cell the walk does not reach
  CellSet found_;  // the records taken for deleted ones
  CellSet free_starts_;
  std::vector<uint32_t> free_words_;  // the first word of the first free cells
  std::vector<uint32_t> orphans_;     // allocated cells without a record nothing live reaches
  bool free_links_ = false;
  uint64_t bins_end_;
  uint64_t search_end_ = 0;
  RecordLimits limits_;
  DeletedRecords out_;
  std::vector<uint8_t> resolved_;
  std::unordered_map<uint32_t, ChainTop> live_paths_;
  std::vector<uint8_t> name_scratch_;
};

}  // namespace

DeletedRecords FindDeletedRecords(const HiveImage& image, const LiveCells& live) {
  return Recovery(image, live).Run();
}

bool LocateDeletedValueData(const HiveImage& image, const DeletedValue& value, ValueDataPlace* place) {
  *place = ValueDataPlace{};
  uint32_t size = 0;
  uint32_t type = 0;
  if (value.data != DeletedData::kIntact || !image.CellU32(value.cell, VK_DATA_SIZE, &size) ||
      !image.CellU32(value.cell, VK_TYPE, &type)) {
    return false;
  }
  place->typed = true;
  place->type = type;
  place->length = size & ~VALUE_DATA_RESIDENT;
  if ((size & VALUE_DATA_RESIDENT) != 0) {
    place->at = value.cell.FileOffset() + VK_DATA_OFFSET;
    return true;
  }
  // One data cell, or a big-data record, its segment list and segments.
  if (value.data_cells.size() == 1) {
    place->at = value.data_cells[0].cell.FileOffset() + DATA_BYTES;
    return true;
  }
  if (value.data_cells.size() < 3) return false;
  place->segment_list = value.data_cells[1].cell;
  place->segments = static_cast<uint32_t>(value.data_cells.size() - 2);
  return true;
}

}  // namespace keyscout
