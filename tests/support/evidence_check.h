// A hive and its transaction logs are evidence: every run of keyscout that the
// tests make on a file is followed by a check that the file is as it was. The
// runners in run_tool.h and process.h make it themselves, so no test can
// forget it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace keyscout::test {

// The size and a digest of the files a run reads: the hive that the last
// "-f" of `args` names, and the logs beside it (its name plus ".LOG", ".LOG1"
// or ".LOG2" in any letter case).
class EvidenceWatch {
 public:
  explicit EvidenceWatch(const std::vector<std::string>& args);
  // Adds a test failure for every watched file whose size or bytes changed,
  // or that is gone. `run` names the run in the message.
  void ExpectUnchanged(const std::string& run) const;

 private:
  struct Watched {
    std::string path;
    bool present = false;
    uint64_t size = 0;
    uint64_t digest = 0;
  };
  static Watched Look(const std::string& path);
  std::vector<Watched> files_;
};

// A fast 64-bit digest of `size` bytes; enough to see any change a run could
// make, cheap enough for a check after every run on a 15 MB hive.
uint64_t QuickDigest(const uint8_t* data, size_t size);

}  // namespace keyscout::test
