// One run of the tool, from the command-line words to the exit code.
#pragma once

#include <string>
#include <vector>

#include "platform/hive_source.h"
#include "platform/output_sink.h"

namespace keyscout {

// Runs the tool on `words` (the program's own name first) over the files
// `source` opens, and returns the exit code, 0 or 1. Results and messages go
// to `out`; `err` gets the diagnostics that explain them, each line starting
// with "keyscout: ", and, when output to `out` was lost, the one line that
// says why (the run then ends with 1). When either is the hive or one of its
// logs it gets nothing (for `out`, the run then ends with 1). No exception
// leaves it.
int RunTool(const std::vector<std::u16string>& words, OutputSink& out, OutputSink& err, HiveSource& source);

}  // namespace keyscout
