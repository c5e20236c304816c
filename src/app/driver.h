// One run of the tool, from the command-line words to the exit code.
#pragma once

#include <string>
#include <vector>

#include "hive/image.h"
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
  // The files that Open read, which nothing the run writes may be.
  virtual EvidenceFiles Evidence() const { return {}; }
};

// Maps the file through the platform layer.
class MappedHiveSource : public HiveSource {
 public:
  MapStatus Open(const std::u16string& path, HiveImage* image) override;
  void Close() override { file_.Close(); }
  EvidenceFiles Evidence() const override { return {file_.identity()}; }

 private:
  MappedFile file_;
};

// Runs the tool on `words` (the program's own name first) and returns the exit
// code, 0 or 1. Everything is printed to `out`; no exception leaves it.
int RunTool(const std::vector<std::u16string>& words, Console& out, HiveSource* source = nullptr);

}  // namespace keyscout
