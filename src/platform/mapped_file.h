// A hive file opened for reading and mapped whole, private to this process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_identity.h"
#include "platform/file_problem.h"

namespace keyscout {

enum class MapStatus {
  kOk,
  kCannotOpen,       // missing, no access, not a plain file, or held by another (POSIX: a writer)
  kCannotMapTarget,  // the mapping cannot be made (an empty file among others)
  kCannotMapMemory,  // the view cannot be mapped
};

// Owns the open file, its mapping and the view; releases them in reverse
// order when destroyed, on every path.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Opens and maps `path`. On failure nothing stays open, and problem() says
  // why. When `opened` is given, it is set to the file's identity as soon as
  // the file is open, so a file that was opened but could not be mapped (an
  // empty one) is known too.
  MapStatus Open(const std::u16string& path, FileIdentity* opened = nullptr);
  void Close();

  // Replaces the view with a private, writable one of the same file, at
  // least `length` bytes long, the bytes past the file's end zero. Pages are
  // copied only as they are written, so the view costs the pages changed,
  // not the file; nothing written ever reaches the file. Returns the view
  // (then data() and size() describe it), or null, with the old view kept,
  // when it cannot be made.
  uint8_t* MakePrivateWritable(uint64_t length);

  const uint8_t* data() const { return static_cast<const uint8_t*>(view_); }
  uint64_t size() const { return size_; }
  // The open file's identity; meaningful while it is open.
  const FileIdentity& identity() const { return identity_; }
  // Why the last Open failed.
  const FileProblem& problem() const { return problem_; }

 private:
  intptr_t file_ = -1;     // descriptor or handle
  intptr_t mapping_ = -1;  // mapping handle where the platform has one
  void* view_ = nullptr;
  uint64_t size_ = 0;
  bool view_is_copy_ = false;  // Windows: the view is a private buffer, not a mapped view
  FileIdentity identity_;
  FileProblem problem_;
};

}  // namespace keyscout
