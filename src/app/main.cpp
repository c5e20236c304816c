// The program's entry: command-line words in, exit code out.
#include "app/main.h"

#include "app/driver.h"
#include "platform/console.h"

namespace keyscout {

int RunFromCommandLine(const std::vector<std::u16string>& words) {
  StdoutSink sink;
  Console out(sink);
  const int code = RunTool(words, out);
  out.Flush();
  return code;
}

}  // namespace keyscout
