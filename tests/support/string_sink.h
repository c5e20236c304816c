// A console sink that collects everything in memory; tests compare it to the
// byte.
#pragma once

#include <cstddef>
#include <string>

#include "text/console.h"

namespace keyscout::test {

class StringSink : public ByteSink {
 public:
  bool Write(const char* data, size_t length) override {
    text.append(data, length);
    return true;
  }
  std::string text;
};

}  // namespace keyscout::test
