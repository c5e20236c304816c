// A hive file opened for reading and mapped whole, private to this process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_identity.h"

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

  // Opens and maps `path`. On failure nothing stays open.
  MapStatus Open(const std::u16string& path);
  void Close();

  const uint8_t* data() const { return static_cast<const uint8_t*>(view_); }
  uint64_t size() const { return size_; }
  // The open file's identity; meaningful while it is open.
  const FileIdentity& identity() const { return identity_; }

 private:
  intptr_t file_ = -1;     // descriptor or handle
  intptr_t mapping_ = -1;  // mapping handle where the platform has one
  void* view_ = nullptr;
  uint64_t size_ = 0;
  FileIdentity identity_;
};

}  // namespace keyscout
