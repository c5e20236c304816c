#include "support/process.h"

#include "support/evidence_check.h"

namespace keyscout::test {

ProcessResult RunBinaryProcess(const std::vector<std::string>& args, StdoutTarget target,
                               const std::string& stdout_file) {
  const EvidenceWatch watch(args);
  ProcessResult result = SpawnBinary(args, target, stdout_file);
  std::string run = "keyscout";
  for (const std::string& a : args) run += " '" + a + "'";
  watch.ExpectUnchanged(run);
  return result;
}

std::string RunBinaryRaw(const std::vector<std::string>& args, int* status) {
  ProcessResult result = RunBinaryProcess(args);
  *status = result.status;
  return std::move(result.out);
}

}  // namespace keyscout::test
