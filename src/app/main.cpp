// The program's entry: command-line words in, exit code out.
#include "app/main.h"

#include <cstdio>

#include "app/driver.h"
#include "app/messages.h"
#include "platform/stdout_sink.h"

namespace keyscout {

int RunFromCommandLine(const std::vector<std::u16string>& words) {
  StdoutSink sink;
  Console out(sink);
  int code = RunTool(words, out);
  out.Flush();
  if (out.failed()) {
    // Standard output is the thing that failed, so this one line goes to the
    // error stream: a script must not take a lost listing for a finished one.
    std::fputs(MSG_OUTPUT_LOST_PREFIX, stderr);
    std::fputs(sink.failure().c_str(), stderr);
    std::fputs(")\n", stderr);
    std::fflush(stderr);
    code = 1;
  }
  return code;
}

}  // namespace keyscout
