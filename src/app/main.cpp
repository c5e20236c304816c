// The program's entry: command-line bytes in, exit code out.
#include <string>
#include <vector>

#include "app/driver.h"
#include "platform/console.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> words;
  words.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) words.push_back(keyscout::DecodeCommandWord(argv[i]));
  keyscout::StdoutSink sink;
  keyscout::Console out(sink);
  const int code = keyscout::RunTool(words, out);
  out.Flush();
  return code;
}
