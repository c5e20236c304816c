// One run of the tool, from the command-line words to the exit code.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hive/image.h"
#include "hive/log_recovery.h"
#include "platform/mapped_file.h"
#include "text/console.h"

namespace keyscout {

// Where the driver gets the hive's bytes. The product maps the file; tests can
// hand over an in-memory copy so that a stray read is caught by the sanitizer.
class HiveSource {
 public:
  virtual ~HiveSource() = default;
  // Opens `path` and sets `image` to its bytes, valid until the source is
  // destroyed or Close is called.
  virtual MapStatus Open(const std::u16string& path, HiveImage* image) = 0;
  virtual void Close() = 0;
  // The files that Open read and every log OpenLogs found, opened or not,
  // which nothing the run writes may be.
  virtual EvidenceFiles Evidence() const { return {}; }
  // Opens the transaction logs beside the hive that Open opened, each named
  // as it was found, their bytes valid as the hive's are. A log that cannot
  // be opened, or is empty, is no log and is left out (but is evidence all
  // the same). None by default.
  virtual std::vector<LogFile> OpenLogs() { return {}; }
  // The identities of the logs beside the hive, found without opening them
  // (through any link), as OpenLogs takes them: evidence even in a run that
  // does not read them. None by default.
  virtual EvidenceFiles LogEvidence() const { return {}; }
  // Replaces the hive's bytes with a private, writable view of them at least
  // `length` bytes long, zero past the stored file, which the run may write
  // to without the file ever seeing it. Returns the view and sets
  // `*view_length`; null when it cannot be made (the bytes Open gave stay).
  virtual uint8_t* MakePrivateWritable(uint64_t length, uint64_t* view_length) {
    (void)length;
    (void)view_length;
    return nullptr;
  }
};

// Maps the file through the platform layer.
class MappedHiveSource : public HiveSource {
 public:
  MapStatus Open(const std::u16string& path, HiveImage* image) override;
  void Close() override;
  EvidenceFiles Evidence() const override;
  std::vector<LogFile> OpenLogs() override;
  EvidenceFiles LogEvidence() const override;
  uint8_t* MakePrivateWritable(uint64_t length, uint64_t* view_length) override;

 private:
  std::u16string path_;
  MappedFile file_;
  // Each log mapped as the hive is; the identities of every log file found,
  // those that could not be opened or are empty included: they are evidence
  // as much as the hive.
  std::vector<std::unique_ptr<MappedFile>> logs_;
  EvidenceFiles log_identities_;
};

// Runs the tool on `words` (the program's own name first) and returns the exit
// code, 0 or 1. Results and messages are printed to `out`; `err` gets the
// diagnostics that explain them, each line starting with "keyscout: ". When
// either is the hive or one of its logs it gets nothing (for `out`, the run
// then ends with 1). No exception leaves it.
int RunTool(const std::vector<std::u16string>& words, Console& out, Console& err, HiveSource* source = nullptr);

}  // namespace keyscout
