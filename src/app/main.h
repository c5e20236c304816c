// The program's entry as every platform shares it. The platform's own entry
// point (src/platform/entry_*.cpp) turns what the system hands over into
// 16-bit words and calls it.
#pragma once

#include <string>
#include <vector>

namespace keyscout {

// Runs the tool on `words` (the program's own name first) with standard output
// and standard error as its consoles, and returns the process exit code, 0 or
// 1.
int RunFromCommandLine(const std::vector<std::u16string>& words);

}  // namespace keyscout
