// Finding the transaction logs Windows keeps beside a hive: NAME.LOG1,
// NAME.LOG2 and, on old systems, NAME.LOG, in the hive's own folder.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_identity.h"

namespace keyscout {

// A file beside the hive whose name makes it one of the hive's logs.
struct FoundLog {
  std::u16string path;  // the path to open it by: the hive's folder as given, then its name
  std::u16string name;  // its name as the folder spells it
};

// True when `candidate` is `hive_name` followed by ".LOG1", ".LOG2" or ".LOG",
// letters A to Z compared without regard to case: a disk image copied off
// Windows keeps whatever case each file had there. Prints nothing.
bool IsLogNameOf(std::u16string_view hive_name, std::u16string_view candidate);

// The files in the folder of `hive_path` (the part of the path up to its last
// separator, or the current folder) whose names pass IsLogNameOf for the
// hive's name, sorted by name. Nothing is opened; a folder that cannot be
// read gives none. Prints nothing.
//
// Choice: the folder is the one the path names, not that of the file a
// symbolic link there leads to: the user says where the hive lies, and its
// logs are copied beside it under the same name.
std::vector<FoundLog> FindLogFiles(const std::u16string& hive_path);

// The names of the other files in the folder of `hive_path` that end in
// ".LOG1", ".LOG2" or ".LOG" (any case) after a name of their own: the logs of
// some hive, perhaps of this one under the name it had before it was renamed.
// Sorted by name. Prints nothing.
std::vector<std::u16string> FindOtherLogNames(const std::u16string& hive_path);

// Each system's part of FindLogFiles: where the folder part of `path` ends
// (just past its last separator, or 0), and the name of every entry of
// `folder` ("" for the current one) handed to `visit`; a folder that cannot
// be read hands none. Print nothing.
size_t FolderPartLength(std::u16string_view path);
void ForEachFolderEntry(const std::u16string& folder, const std::function<void(std::u16string)>& visit);

// The identity of the file `path` names (through any link), read from the
// file system without reading the file; all zero when it cannot be had.
// Prints nothing.
FileIdentity IdentityOfFile(const std::u16string& path);

}  // namespace keyscout
