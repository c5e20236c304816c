#include "platform/hive_source.h"

#include "platform/log_files.h"

namespace keyscout {

MapStatus MappedHiveSource::Open(const std::u16string& path, FileBytes* hive) {
  path_ = path;
  const MapStatus status = file_.Open(path);
  if (status == MapStatus::kOk) *hive = FileBytes{file_.data(), file_.size()};
  return status;
}

std::vector<OpenedLog> MappedHiveSource::OpenLogs() {
  std::vector<OpenedLog> logs;
  for (const FoundLog& found : FindLogFiles(path_)) {
    auto file = std::make_unique<MappedFile>();
    FileIdentity opened;
    // Choice: a log that cannot be opened (no access, held by a writer, not a
    // plain file) is left out as one that is not there: the hive itself can
    // still be read, and the status line says which logs were applied.
    const bool mapped = file->Open(found.path, &opened) == MapStatus::kOk;
    opened_logs_.push_back(opened);
    if (mapped) {
      logs.push_back(OpenedLog{found.name, FileBytes{file->data(), file->size()}});
      logs_.push_back(std::move(file));
    }
  }
  return logs;
}

Evidence MappedHiveSource::GatherEvidence() {
  Evidence evidence;
  // By name, whether or not the file opened: on Windows standard output sent
  // to the hive keeps it from opening; a log held by another process, or a
  // log name that leads to a device, could otherwise be written by a dump
  // file or by standard output. As opened too: a file replaced after it was
  // opened is not the one its name now leads to.
  evidence.Add(IdentityOfFile(path_));
  evidence.Add(file_.identity());
  for (const FoundLog& found : FindLogFiles(path_)) evidence.Add(IdentityOfFile(found.path));
  for (const FileIdentity& opened : opened_logs_) evidence.Add(opened);
  return evidence;
}

uint8_t* MappedHiveSource::MakePrivateWritable(uint64_t length, uint64_t* view_length) {
  uint8_t* view = file_.MakePrivateWritable(length);
  if (view != nullptr) *view_length = file_.size();
  return view;
}

void MappedHiveSource::Close() {
  logs_.clear();
  opened_logs_.clear();
  file_.Close();
}

}  // namespace keyscout
