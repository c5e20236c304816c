// The program's entry: command-line words in, exit code out.
#include "app/main.h"

#include "app/driver.h"
#include "app/messages.h"
#include "platform/stdout_sink.h"

namespace keyscout {

namespace {

// The error stream carries a few lines at most.
constexpr size_t ERROR_STREAM_BUFFER = 1 << 12;

}  // namespace

int RunFromCommandLine(const std::vector<std::u16string>& words) {
  StandardStreamSink out_sink(StandardStream::kOutput);
  StandardStreamSink err_sink(StandardStream::kError);
  Console out(out_sink);
  Console err(err_sink, ERROR_STREAM_BUFFER);
  int code = RunTool(words, out, err);
  out.Flush();
  if (out.failed()) {
    // Standard output is the thing that failed, so this line goes to the
    // error stream: a script must not take a lost listing for a finished one.
    err.Ascii(MSG_OUTPUT_LOST_PREFIX);
    err.Ascii(out_sink.failure());
    err.Ascii(")\n");
    code = 1;
  }
  err.Flush();
  return code;
}

}  // namespace keyscout
