// Deleted keys and values: the key node ("nk") and value ("vk") records that
// a hive's free space still holds, with what can be told of each: its values
// and data while their cells are intact, and its path while its parent links
// can be followed. Parsing only; nothing here prints.
//
// Windows marks a deleted record's cells free without wiping them, merges
// them with free neighbours and reuses the space later. So a record is
// searched for at every 8-byte boundary (where a cell can start) of every
// free cell, of the unused tail ("slack") of every allocated cell the live
// tree uses, and of the file past the hive bins the base block declares; and
// what it links to is taken only while that cell is still free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hive/cell_set.h"
#include "hive/image.h"
#include "hive/live_cells.h"
#include "hive/value_cells.h"
#include "hive/value_data.h"

namespace keyscout {

// Where a deleted record was found.
enum class FoundIn {
  kFreeCell,  // inside a free cell, at its start or within it
  kSlack,     // past the record of an allocated cell, or past the hive bins
};

// The checks a record found in free space must pass before it is taken for
// a deleted key or value, and the reason one is refused.
enum class RecordCheck {
  kPlausible,
  kOutsideSpace,  // the record, name included, runs past the free space it lies
                  // in, or over a record the live tree uses
  kCellSize,      // its size field is not that of a free cell holding it: not
                  // positive, not a multiple of 8, or shorter than the record
  kName,          // a key name of 0 characters; a name over 255 characters; a
                  // 16-bit name of an odd number of bytes
  kTime,          // last written before 1990, or more than a year after the
                  // latest of the hive's written time and its live keys' times
  kCounts,        // more subkeys or values than the file has room for
  kLinks,         // a cell index it holds (parent, lists, security, class
                  // name, data) is not on an 8-byte boundary inside the file
  kFlags,         // value flags with bits other than the two the format defines
  kData,          // resident data longer than 4 bytes, or data longer than the file
};

// What the checks compare a record with.
struct RecordLimits {
  uint64_t file_size = 0;
  // The latest time of the hive (FILETIME), to which a record's may come
  // close; 0 when unknown.
  uint64_t latest_written = 0;
  // The bytes a record may not overlap: the live tree's records and every
  // allocated cell it does not reach. May be null.
  const CellSet* taken = nullptr;
};

// Checks the key node record whose cell starts at `cell`, found in free
// space that ends at file offset `space_end`. Prints nothing.
RecordCheck CheckDeletedKey(const HiveImage& image, Cell cell, uint64_t space_end, const RecordLimits& limits);
// The same for a value key record.
RecordCheck CheckDeletedValue(const HiveImage& image, Cell cell, uint64_t space_end, const RecordLimits& limits);

// What became of a deleted value's data.
enum class DeletedData {
  kIntact,  // every cell it needs is still free and whole (or it is resident)
  kReused,  // a cell it needs has been allocated, or overlaid by a record, since
  kLost,    // a cell it needs cannot be read (outside the file, damaged)
};

inline constexpr size_t NO_DELETED_KEY = static_cast<size_t>(-1);

struct DeletedValue {
  Cell cell;  // the vk record's cell: file offset HIVE_BASE + index
  FoundIn found_in = FoundIn::kFreeCell;
  DeletedData data = DeletedData::kLost;
  // The data's cells in data order while intact and not resident.
  std::vector<ValueDataCell> data_cells;
  // The deleted key whose value list holds it, or NO_DELETED_KEY: a value
  // found alone.
  size_t key = NO_DELETED_KEY;
};

struct DeletedKey {
  Cell cell;  // the nk record's cell: file offset HIVE_BASE + index
  FoundIn found_in = FoundIn::kFreeCell;
  // The path below the root, backslash-separated, when the parent links
  // reach the root; otherwise the path from the highest key they reach
  // (that key's name first), with `path_complete` false and `parent_cell`
  // the cell that key names as its parent.
  std::u16string path;
  bool path_complete = false;
  uint32_t parent_cell = 0;
  // The key of the live tree its parent links reach (through deleted keys
  // or at once), under which it was deleted; nothing when they reach none.
  std::optional<Cell> live_parent;
  // Nothing when the key has a class name whose cell is no longer intact.
  std::optional<std::u16string> class_name;
  // Its values (indexes into DeletedRecords::values) in value-list order:
  // those whose value list and value key are still free and intact.
  std::vector<size_t> values;
};

struct DeletedRecords {
  std::vector<DeletedKey> keys;      // in file order
  std::vector<DeletedValue> values;  // in file order
};

// Finds the deleted keys and values of `image`. `live` is the live tree's
// cells (MarkLiveCells). Records that pass the checks are taken; the parent
// links of keys are followed through deleted keys and through keys of the
// live tree. A record past the hive bins the base block declares belongs to
// an earlier layout of the file, so its links are followed only to records
// past that end as well, and the other way round. Prints nothing.
DeletedRecords FindDeletedRecords(const HiveImage& image, const LiveCells& live);

// Where the data of `value` lies, as LocateValueData gives a live value's,
// for the readers of value data. False when its data is not intact. Prints
// nothing.
[[nodiscard]] bool LocateDeletedValueData(const HiveImage& image, const DeletedValue& value, ValueDataPlace* place);

}  // namespace keyscout
