// A run on the system itself: the process's standard output and standard
// error, and the files on disk. The platform's entry point
// (src/platform/entry_*.cpp) turns what the system hands over into 16-bit
// words and calls it; it is built into the executable alone, so the entry
// points are the only code below src/app that reaches up into it.
#pragma once

#include <string>
#include <vector>

namespace keyscout {

// Runs the tool on `words` (the program's own name first) with standard output
// and standard error as its streams and the files on disk as its source, and
// returns the process exit code, 0 or 1.
int RunOnSystem(const std::vector<std::u16string>& words);

}  // namespace keyscout
