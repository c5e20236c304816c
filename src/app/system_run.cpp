#include "app/system_run.h"

#include "app/driver.h"
#include "platform/hive_source.h"
#include "platform/stdout_sink.h"

namespace keyscout {

int RunOnSystem(const std::vector<std::u16string>& words) {
  StandardStreamSink out(StandardStream::kOutput);
  StandardStreamSink err(StandardStream::kError);
  MappedHiveSource files;
  return RunTool(words, out, err, files);
}

}  // namespace keyscout
