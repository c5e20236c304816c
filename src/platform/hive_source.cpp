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
  std::vector<FoundLog> wanted;
  if (named_logs_.empty()) {
    wanted = FindLogFiles(path_);
  } else {
    for (const std::u16string& path : named_logs_) wanted.push_back(FoundLog{path, path});
  }
  std::vector<OpenedLog> logs;
  for (const FoundLog& found : wanted) {
    OpenedLog log{found.name, {}, {}};
    // A log named that is the hive itself holds no log; on Windows, where the
    // hive is held without sharing, it could not even be opened.
    if (const FileIdentity named = IdentityOfFile(found.path); named.known() && named == file_.identity()) {
      log.problem.kind = FileProblemKind::kIsHive;
      logs.push_back(std::move(log));
      continue;
    }
    auto file = std::make_unique<MappedFile>();
    FileIdentity opened;
    // Choice: a log that cannot be opened (no access, held by a writer, not a
    // plain file) is not applied, and the run goes on with the others: the
    // hive itself can still be read, the status line says which logs were
    // applied, and standard error why this one was not.
    const bool mapped = file->Open(found.path, &opened) == MapStatus::kOk;
    opened_logs_.push_back(opened);
    if (mapped) {
      log.bytes = FileBytes{file->data(), file->size()};
      logs_.push_back(std::move(file));
    } else {
      log.problem = file->problem();
    }
    logs.push_back(std::move(log));
  }
  return logs;
}

LogNames MappedHiveSource::NameLogsBeside() {
  LogNames names;
  for (FoundLog& found : FindLogFiles(path_)) names.own.push_back(std::move(found.name));
  names.others = FindOtherLogNames(path_);
  return names;
}

Evidence MappedHiveSource::GatherEvidence() {
  Evidence evidence;
  // By name, whether or not the file opened: on Windows standard output sent
  // to the hive keeps it from opening; a log held by another process, or a
  // log name that leads to a device, could otherwise be written by a dump
  // file or by standard output. As opened too: a file replaced after it was
  // opened is not the one its name now leads to.
  evidence.Add(IdentityOfFile(path_), EvidenceRole::kHive);
  evidence.Add(file_.identity(), EvidenceRole::kHive);
  for (const FoundLog& found : FindLogFiles(path_)) evidence.Add(IdentityOfFile(found.path), EvidenceRole::kLog);
  for (const std::u16string& named : named_logs_) evidence.Add(IdentityOfFile(named), EvidenceRole::kLog);
  for (const FileIdentity& opened : opened_logs_) evidence.Add(opened, EvidenceRole::kLog);
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
