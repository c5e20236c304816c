// The Windows entry point: the command line arrives as UTF-16 words, which are
// taken unit for unit, unpaired surrogates and all.
#include <string>
#include <vector>

#include "app/system_run.h"

// The C runtime splits the command line into words; it must not also expand
// "*" and "?" into file names, whatever the toolchain's default.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is 16-bit units");
  std::vector<std::u16string> words;
  words.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    std::u16string word;
    for (const wchar_t* unit = argv[i]; *unit != 0; ++unit) word.push_back(static_cast<char16_t>(*unit));
    words.push_back(std::move(word));
  }
  return keyscout::RunOnSystem(words);
}
