// An output sink that collects everything in memory; tests compare it to the
// byte.
#pragma once

#include <cstddef>
#include <string>

#include "platform/output_sink.h"

namespace keyscout::test {

class StringSink : public OutputSink {
 public:
  bool Write(const char* data, size_t length) override {
    text.append(data, length);
    return true;
  }
  // A string is no file, and never one the run reads.
  bool IsFile() const override { return false; }
  bool Protect(const Evidence&) override { return true; }
  const std::string& failure() const override { return no_failure_; }

  std::string text;

 private:
  const std::string no_failure_;
};

}  // namespace keyscout::test
