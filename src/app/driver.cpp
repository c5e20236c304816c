#include "app/driver.h"

#include <algorithm>
#include <new>
#include <optional>

#include "app/info_report.h"
#include "app/listings.h"
#include "app/log_status.h"
#include "app/messages.h"
#include "app/options.h"
#include "app/security_report.h"
#include "app/value_report.h"
#include "hive/key_lookup.h"
#include "platform/log_files.h"
#include "security/atl_exception.h"

namespace keyscout {

MapStatus MappedHiveSource::Open(const std::u16string& path, HiveImage* image) {
  path_ = path;
  const MapStatus status = file_.Open(path);
  if (status == MapStatus::kOk) *image = HiveImage(file_.data(), file_.size());
  return status;
}

void MappedHiveSource::Close() {
  logs_.clear();
  log_identities_.clear();
  file_.Close();
}

EvidenceFiles MappedHiveSource::Evidence() const {
  EvidenceFiles evidence{file_.identity()};
  evidence.insert(evidence.end(), log_identities_.begin(), log_identities_.end());
  return evidence;
}

std::vector<LogFile> MappedHiveSource::OpenLogs() {
  std::vector<LogFile> logs;
  for (const FoundLog& found : FindLogFiles(path_)) {
    // Every log the search names is evidence, whether or not it opens below:
    // one held by another process, or a name that leads to a device, could
    // otherwise be written by a dump file or by standard output.
    log_identities_.push_back(IdentityOfFile(found.path));
    auto file = std::make_unique<MappedFile>();
    FileIdentity opened;
    // Choice: a log that cannot be opened (no access, held by a writer, not a
    // plain file) is left out as one that is not there: the hive itself can
    // still be read, and the status line says which logs were applied.
    if (file->Open(found.path, &opened) == MapStatus::kOk) {
      logs.push_back(LogFile{found.name, ByteReader(file->data(), file->size())});
      logs_.push_back(std::move(file));
    }
    // The file opened is the one named, unless it was replaced in between.
    if (opened.known() && opened != log_identities_.back()) log_identities_.push_back(opened);
  }
  return logs;
}

EvidenceFiles MappedHiveSource::LogEvidence() const {
  EvidenceFiles evidence;
  for (const FoundLog& found : FindLogFiles(path_)) evidence.push_back(IdentityOfFile(found.path));
  return evidence;
}

uint8_t* MappedHiveSource::MakePrivateWritable(uint64_t length, uint64_t* view_length) {
  uint8_t* view = file_.MakePrivateWritable(length);
  if (view != nullptr) *view_length = file_.size();
  return view;
}

namespace {

// The value report's request: -v, else -u, with -d and -w.
ValueRequest ValueRequestOf(const RunOptions& options) {
  ValueRequest request;
  // Choice: with both -v and -u, -v wins: the value typed by name is the
  // narrower request, and -u adds nothing a script could not drop.
  request.unnamed = (options.flags & OPT_VALUE) == 0;
  if (!request.unnamed) request.name = options.value_name;
  request.decode = (options.flags & OPT_DECODE) != 0;
  request.dump = (options.flags & OPT_DUMP) != 0;
  request.output_file = options.output_file;
  return request;
}

// -t: plans the replay of `logs` over the hive and, when it changes anything,
// applies it to a private view of the hive and points `image` at that view;
// then prints the status line, and on `err` why the recovery may be
// incomplete. False, with the message printed, when the view cannot be made.
bool ApplyTransactionLogs(HiveSource& hive, const std::vector<LogFile>& logs, const std::u16string& path,
                          HiveImage* image, Console& out, Console& err) {
  RecoveryPlan plan = PlanLogRecovery(image->reader(), logs);
  if (plan.summary.state == RecoveryState::kApplied) {
    const uint64_t stored = image->size();
    uint64_t length = 0;
    uint8_t* view = hive.MakePrivateWritable(std::max(stored, plan.image_size), &length);
    if (view == nullptr) {
      // Choice: -t asks for the hive as Windows would load it; reading it as
      // stored instead would pass stale data off as recovered, so the run
      // ends as it does when the hive itself cannot be mapped.
      out.Format(MSG_CANNOT_MAP_MEMORY, {path});
      return false;
    }
    if (ApplyRecoveryPlan(plan, std::span<uint8_t>(view, static_cast<size_t>(length)))) {
      // The walks' budget counts the bytes that hold data, not the zeros of
      // a hive the logs say is larger.
      *image = HiveImage(view, length, stored + plan.bytes_written);
    } else {
      // A view as long as the plan asks, over the very logs it was made
      // from, takes every write; should one still be refused, nothing was
      // written and the hive reads as stored, as the status line then says.
      *image = HiveImage(view, stored);
      plan.summary = RecoverySummary{};
      plan.summary.state = RecoveryState::kNoUsableLog;
    }
  }
  out.Wide(RenderLogStatus(plan.summary));
  out.Ascii("\n");
  if (plan.summary.gap_from) {
    err.Format(MSG_LOGS_GAP_NOTE, {*plan.summary.gap_from, plan.summary.first_sequence});
  }
  return true;
}

// Everything after the hive is open: key selection and the reports. Returns
// the exit code.
int RunReports(const RunOptions& options, const HiveImage& image, const EvidenceFiles& evidence, Console& out) {
  Cell key = RootKeyCell(image);
  if ((options.flags & OPT_KEY) == 0 && !HasHiveSignatures(image)) {
    // A file that is not a hive at all (a compressed copy, a log) has no root
    // key: reporting its "root" as a key without subkeys or values would tell
    // the user that a hive is empty. A hive whose root cell is damaged still
    // has its root read unchecked.
    out.Format(MSG_CANNOT_FIND_KEY, {MSG_ROOT});
    return 1;
  }
  if ((options.flags & OPT_KEY) != 0) {
    const std::optional<Cell> found = FindKeyByPath(image, options.key_path);
    if (!found) {
      out.Format(MSG_CANNOT_FIND_KEY, {options.key_path});
      return 1;
    }
    key = *found;
  }
  const std::u16string_view shown_path =
      (options.flags & OPT_KEY) != 0 ? std::u16string_view(options.key_path) : MSG_ROOT;
  out.Format(MSG_KEY_PATH, {shown_path});

  if ((options.flags & OPT_INFO) != 0) {
    out.Wide(MSG_SEPARATOR);
    if (!ShowKeyInformation(image, key, shown_path, out)) return 1;
  }
  try {
    if ((options.flags & OPT_SECURITY) != 0) {
      out.Wide(MSG_SEPARATOR);
      out.Wide(MSG_SECURITY_TITLE);
      ShowKeySecurity(image, key, out);
    }
  } catch (const CAtlException&) {
    // Choice: a descriptor the model cannot read ends the run like any other
    // failed step: the rows printed so far stay, no further report runs, one
    // message names the key, and the exit code is 1.
    out.Format(MSG_CANNOT_READ_SECURITY, {shown_path});
    return 1;
  }
  if ((options.flags & OPT_LIST_SUBKEYS) != 0) {
    out.Wide(MSG_SEPARATOR);
    ListSubkeys(image, key, out);
  }
  if ((options.flags & OPT_LIST_VALUES) != 0) {
    out.Wide(MSG_SEPARATOR);
    ListValues(image, key, out);
  }
  if ((options.flags & (OPT_VALUE | OPT_UNNAMED)) != 0) {
    out.Wide(MSG_SEPARATOR);
    if (!ShowValue(image, key, ValueRequestOf(options), evidence, out)) return 1;
  }
  return 0;
}

}  // namespace

int RunTool(const std::vector<std::u16string>& words, Console& out, Console& err, HiveSource* source) {
  try {
    out.Wide(MSG_BANNER);
    RunOptions options;
    switch (ParseCommandLine(words, &options)) {
      case ParseVerdict::kUsageRequested:
        out.Wide(MSG_USAGE);
        return 0;
      case ParseVerdict::kNoHiveFile:
        out.Wide(MSG_USAGE);
        return 1;
      case ParseVerdict::kRun:
        break;
    }

    // Standard output sent to the hive itself (a shell's ">>" onto it) must
    // not receive a byte, not even a message that the hive cannot be opened
    // (on Windows the redirection itself keeps the hive from opening): the
    // file the path names is compared before it is opened. Standard error
    // sent there gets nothing either, but the run goes on without it.
    if (out.WritesToFile() || err.WritesToFile()) {
      const EvidenceFiles hive_file{IdentityOfFile(options.hive_path)};
      out.Protect(hive_file);
      err.Protect(hive_file);
      if (out.failed()) return 1;
    }
    MappedHiveSource mapped;
    HiveSource& hive = source != nullptr ? *source : mapped;
    HiveImage image;
    switch (hive.Open(options.hive_path, &image)) {
      case MapStatus::kOk:
        break;
      case MapStatus::kCannotOpen:
        out.Format(MSG_CANNOT_OPEN_TARGET, {options.hive_path});
        return 1;
      case MapStatus::kCannotMapTarget:
        out.Format(MSG_CANNOT_MAP_TARGET, {options.hive_path});
        return 1;
      case MapStatus::kCannotMapMemory:
        out.Format(MSG_CANNOT_MAP_MEMORY, {options.hive_path});
        return 1;
    }
    // The logs are read only with -t; without it the run reads the hive
    // alone, exactly as before, in output and in cost.
    const bool with_logs = (options.flags & OPT_LOGS) != 0;
    std::vector<LogFile> logs;
    if (with_logs) logs = hive.OpenLogs();
    EvidenceFiles evidence = hive.Evidence();
    // The logs are evidence all the same, read or not. Without -t they are
    // looked for only when the run is about to write a file (a dump file, or
    // standard output or error sent to a file), which every other run is
    // spared.
    const bool dumps = (options.flags & OPT_DUMP) != 0 && (options.flags & (OPT_VALUE | OPT_UNNAMED)) != 0;
    if (!with_logs && (dumps || out.WritesToFile() || err.WritesToFile())) {
      const EvidenceFiles logs_beside = hive.LogEvidence();
      evidence.insert(evidence.end(), logs_beside.begin(), logs_beside.end());
    }
    // Standard output appended to the hive or a log would write into the
    // evidence: nothing is written then, and the run ends at once. Standard
    // error is only silenced: it carries no result.
    out.Protect(evidence);
    err.Protect(evidence);
    if (out.failed() || (with_logs && !ApplyTransactionLogs(hive, logs, options.hive_path, &image, out, err))) {
      hive.Close();
      return 1;
    }
    const int code = RunReports(options, image, evidence, out);
    hive.Close();
    return code;
  } catch (const std::bad_alloc&) {
    // Running out of memory anywhere ends the run with one line; the source
    // releases the file as it goes out of scope.
    out.Wide(MSG_OUT_OF_MEMORY);
    return 1;
  }
}

}  // namespace keyscout
