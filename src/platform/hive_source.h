// The files one run reads, as the driver asks for them: the hive, the
// transaction logs beside it, a private writable view of the hive for -t, and
// the files the run must never write. The product maps the files on disk
// (MappedHiveSource); tests hand over in-memory copies, so that a stray read
// is caught by the sanitizer. Only bytes, sizes and file identities cross
// here: what the bytes mean is the hive code's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/evidence.h"
#include "platform/mapped_file.h"

namespace keyscout {

// The bytes of a file a source opened.
struct FileBytes {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
};

// A transaction log a source opened: its name as the folder spells it, and
// its bytes.
struct OpenedLog {
  std::u16string name;
  FileBytes bytes;
};

class HiveSource {
 public:
  virtual ~HiveSource() = default;
  // Opens the hive `path` names and sets `*hive` to its bytes, valid until
  // Close. On failure `*hive` is left as it was.
  virtual MapStatus Open(const std::u16string& path, FileBytes* hive) = 0;
  // Opens the transaction logs beside the hive that Open opened, each named
  // as it was found, their bytes valid as the hive's are. A log that cannot
  // be opened, or is empty, is no log and is left out (but is evidence all
  // the same).
  virtual std::vector<OpenedLog> OpenLogs() = 0;
  // The files the run must never write (platform/evidence.h): the hive that
  // Open was given and every log beside it, by name through any link,
  // whether they opened or not, and as Open and OpenLogs opened them. Asked
  // after Open, whether or not it succeeded.
  virtual Evidence GatherEvidence() = 0;
  // Replaces the hive's bytes with a private, writable view of them at least
  // `length` bytes long, zero past the stored file, which the run may write
  // to without the file ever seeing it. Returns the view and sets
  // `*view_length`; null when it cannot be made (the bytes Open gave stay).
  virtual uint8_t* MakePrivateWritable(uint64_t length, uint64_t* view_length) = 0;
  // Releases the hive, its logs and any private view.
  virtual void Close() = 0;
};

// The files on disk: the hive and its logs (as FindLogFiles finds them)
// mapped through MappedFile.
class MappedHiveSource : public HiveSource {
 public:
  MapStatus Open(const std::u16string& path, FileBytes* hive) override;
  std::vector<OpenedLog> OpenLogs() override;
  Evidence GatherEvidence() override;
  uint8_t* MakePrivateWritable(uint64_t length, uint64_t* view_length) override;
  void Close() override;

 private:
  std::u16string path_;
  MappedFile file_;
  // Each log mapped as the hive is, and the identity of every log file
  // opened, those that could not be mapped (an empty one) included.
  std::vector<std::unique_ptr<MappedFile>> logs_;
  std::vector<FileIdentity> opened_logs_;
};

}  // namespace keyscout
