// Why the system would not open, map or create a file: in the kinds a user
// can act on, and in the system's own words for any other reason. The words
// said to the user are the driver's.
#pragma once

#include <cstdint>
#include <string>

namespace keyscout {

enum class FileProblemKind : uint8_t {
  kNone,
  kMissing,       // no such file, or no such folder on the way to it
  kFolder,        // it is a folder
  kNoPermission,  // the system refuses access
  kLocked,        // another program holds it locked, or open without sharing
  kNotPlainFile,  // a device, a pipe or the like
  kEmpty,         // it has no bytes to map
  kTooLarge,      // larger than this system can map whole
  kIsHive,        // it is the hive being read (evidence, never written)
  kIsLog,         // it is one of the hive's transaction logs (evidence too)
  kSystem,        // another reason, in `system_text`
};

struct FileProblem {
  FileProblemKind kind = FileProblemKind::kNone;
  std::string system_text;  // kSystem: the system's description of the error
};

}  // namespace keyscout
