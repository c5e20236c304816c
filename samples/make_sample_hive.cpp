// Writes the demo hive to the path given on the command line.
#include <cstdio>
#include <fstream>

#include "support/sample_hive.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_hive OUTPUT\n");
    return 2;
  }
  const keyscout::test::Bytes hive = keyscout::test::BuildSampleHive();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(hive.data()), static_cast<std::streamsize>(hive.size()));
  return out ? 0 : 1;
}
