// The files one run reads, as the driver asks for them: the hive, the
// transaction logs beside it (or those -L names), a private writable view of
// the hive for -t, and the files the run must never write. The product maps the files on disk
// (MappedHiveSource); tests hand over in-memory copies, so that a stray read
// is caught by the sanitizer. Only bytes, sizes and file identities cross
// here: what the bytes mean is the hive code's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/evidence.h"
#include "platform/file_problem.h"
#include "platform/mapped_file.h"

namespace keyscout {

// The bytes of a file a source opened.
struct FileBytes {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
};

// A transaction log a source looked at: its name (as the folder spells it,
// or the path -L gave), and its bytes, or why it could not be had (bytes.data
// then null).
struct OpenedLog {
  std::u16string name;
  FileBytes bytes;
  FileProblem problem;
};

// The names of the log files in a hive's folder.
struct LogNames {
  std::vector<std::u16string> own;     // the hive's own (FindLogFiles)
  std::vector<std::u16string> others;  // of other names (FindOtherLogNames)
};

class HiveSource {
 public:
  virtual ~HiveSource() = default;
  // Opens the hive `path` names and sets `*hive` to its bytes, valid until
  // Close. On failure `*hive` is left as it was, and OpenProblem says why.
  virtual MapStatus Open(const std::u16string& path, FileBytes* hive) = 0;
  virtual FileProblem OpenProblem() const = 0;
  // -L: the transaction logs are the files `paths` name, in that order,
  // instead of those beside the hive. Called before Open.
  virtual void UseLogs(std::vector<std::u16string> paths) = 0;
  // Opens the transaction logs of the hive that Open opened: those UseLogs
  // named, else those beside it, each named as it was given or found, their
  // bytes valid as the hive's are. Each is in the list; one that cannot be
  // opened, is empty or is the hive itself carries why instead of bytes (and
  // is evidence all the same).
  virtual std::vector<OpenedLog> OpenLogs() = 0;
  // The names of the log files beside the hive that Open was given, read
  // from its folder without opening any.
  virtual LogNames NameLogsBeside() = 0;
  // The files the run must never write (platform/evidence.h): the hive that
  // Open was given, every log beside it and every log UseLogs named, by name
  // through any link, whether they opened or not, and as Open and OpenLogs
  // opened them. Asked after Open, whether or not it succeeded.
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
  FileProblem OpenProblem() const override { return file_.problem(); }
  void UseLogs(std::vector<std::u16string> paths) override { named_logs_ = std::move(paths); }
  std::vector<OpenedLog> OpenLogs() override;
  LogNames NameLogsBeside() override;
  Evidence GatherEvidence() override;
  uint8_t* MakePrivateWritable(uint64_t length, uint64_t* view_length) override;
  void Close() override;

 private:
  std::u16string path_;
  std::vector<std::u16string> named_logs_;
  MappedFile file_;
  // Each log mapped as the hive is, and the identity of every log file
  // opened, those that could not be mapped (an empty one) included.
  std::vector<std::unique_ptr<MappedFile>> logs_;
  std::vector<FileIdentity> opened_logs_;
};

}  // namespace keyscout
