// Replays saved fuzz inputs with any compiler: every file named on the command
// line, or every file in the folders named, goes through the fuzz entry point.
// A fixed crash therefore stays fixed in the ordinary test run.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_hive.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> files;
    std::error_code ec;
    if (fs::is_directory(argv[i], ec)) {
      for (const auto& entry : fs::directory_iterator(argv[i])) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else if (fs::exists(argv[i], ec)) {
      files.emplace_back(argv[i]);
    }
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
