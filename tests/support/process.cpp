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

void ExpectDumpRefused(const std::vector<std::string>& args, const std::string& value, const std::string& file,
                       const std::string& cause) {
  std::string run = "keyscout";
  for (const std::string& a : args) run += " '" + a + "'";
  ProcessResult result = RunBinaryProcess(args);
  EXPECT_EQ(result.status, 1) << run;
  result.out = WithoutCarriageReturns(std::move(result.out));
  result.err = WithoutCarriageReturns(std::move(result.err));
  const std::string tail =
      "Start dump value [" + value + "] to file [" + file + "] : \nCannot create dump file. (" + file + ")\n";
  ASSERT_GE(result.out.size(), tail.size()) << run << "\n" << result.out;
  EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail) << run;
  EXPECT_TRUE(result.err.ends_with("keyscout: cannot create " + file + ": " + cause + "\n")) << run << "\n" << result.err;
}

}  // namespace keyscout::test
