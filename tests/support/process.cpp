#include "support/process.h"

#include <gtest/gtest.h>

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

void ExpectDumpRefused(const std::vector<std::string>& args, const std::string& value, const std::string& file) {
  std::string run = "keyscout";
  for (const std::string& a : args) run += " '" + a + "'";
  int status = 0;
  const std::string out = RunBinary(args, &status);
  EXPECT_EQ(status, 1) << run;
  const std::string tail =
      "Start dump value [" + value + "] to file [" + file + "] : \nCannot create dump file. (" + file + ")\n";
  ASSERT_GE(out.size(), tail.size()) << run << "\n" << out;
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << run;
}

}  // namespace keyscout::test
