// The corpus of real hives beside the repository (skipped when absent).
#pragma once

#include <string>
#include <vector>

#include "support/hive_builder.h"

namespace keyscout::test {

// The folder of real hives: $KEYSCOUT_HIVES, else the one the build names.
// Empty when it does not exist.
std::string RealHiveDir();

// The hive files in that folder, sorted by name (.xz files included only when
// an xz binary is there to decompress them, or an unpacked copy is there).
std::vector<std::string> RealHiveNames();

// A file on disk holding one hive: the stored file itself, or for a .xz
// hive its contents decompressed once into the tests' temporary folder (or
// the unpacked copy below). Empty when it cannot be had.
std::string RealHivePath(const std::string& name);

// The bytes of one hive, decompressed when its name ends in .xz.
Bytes LoadRealHive(const std::string& name);

// The lines of a file in tests/data, each cut at tabs into its fields; empty
// lines and lines that begin with "#" are left out.
std::vector<std::vector<std::string>> ReadTestData(const std::string& name);

// Where a .xz hive was decompressed beforehand, for a platform without an xz
// program (Windows): $KEYSCOUT_UNPACKED_HIVES/<name without .xz>. Empty when
// there is no such file.
std::string UnpackedHivePath(const std::string& name);

}  // namespace keyscout::test
