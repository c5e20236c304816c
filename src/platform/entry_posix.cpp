// The POSIX entry point: the command line arrives as bytes, which are decoded
// as UTF-8 with stray bytes kept, so a file name is opened exactly as typed.
#include <string>
#include <vector>

#include "app/system_run.h"
#include "text/utf8.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> words;
  words.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) words.push_back(keyscout::DecodeCommandWord(argv[i]));
  return keyscout::RunOnSystem(words);
}
