// The deleted keys and values of the export (-x with -r): found once before
// the live tree is walked, each deleted key handed to the writer right after
// the live key it was deleted from, the rest at the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/record_writer.h"
#include "hive/deleted_records.h"
#include "hive/image.h"

namespace keyscout {

class DeletedExport {
 public:
  // Finds the deleted records of `image`. `start_path` is the stored path of
  // the key the export starts at, or null for the root: only records whose
  // path lies below it are written then.
  DeletedExport(const HiveImage& image, const std::u16string* start_path, RecordWriter& writer);

  // Writes the deleted keys whose parent links reach the live key `key`
  // (just written, with its values), parents before their subkeys.
  void AfterLiveKey(Cell key);
  // Writes the deleted keys not written yet that lie below the start (with
  // the root as the start: every one, complete path or not), then, with the
  // root as the start, the deleted values no key holds.
  void Finish();

  uint64_t keys_written() const { return keys_written_; }
  uint64_t values_written() const { return values_written_; }

 private:
  void WriteKey(size_t k);
  // Fills `record_` and `origin_` for deleted value `v`.
  void PrepareValue(size_t v);
  bool LiesBelowStart(const DeletedKey& key) const;

  const HiveImage& image_;
  const std::u16string* start_path_;
  RecordWriter& writer_;
  DeletedRecords records_;
  // The deleted keys in the order they are written: by the live key their
  // links reach (those that reach none last), then by path.
  std::vector<size_t> order_;
  std::vector<bool> written_;
  uint64_t keys_written_ = 0;
  uint64_t values_written_ = 0;
  // Reused from record to record.
  std::u16string key_name_;
  std::u16string name_;
  std::vector<uint8_t> scratch_;
  ValueDataPlace place_;
  RecordOrigin origin_;
  ValueRecord record_;
};

}  // namespace keyscout
