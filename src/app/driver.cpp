#include "app/driver.h"

#include <algorithm>
#include <new>
#include <optional>

#include "app/diagnostics.h"
#include "app/export_report.h"
#include "app/info_report.h"
#include "app/listings.h"
#include "app/log_status.h"
#include "app/messages.h"
#include "app/options.h"
#include "app/security_report.h"
#include "app/value_report.h"
#include "hive/file_kind.h"
#include "hive/image.h"
#include "hive/key_lookup.h"
#include "hive/log_recovery.h"
#include "security/atl_exception.h"
#include "text/console.h"

namespace keyscout {

namespace {

// The error stream carries a few lines at most.
constexpr size_t ERROR_STREAM_BUFFER = 1 << 12;

// Closes the source when the run ends, whichever way it ends.
class ClosingSource {
 public:
  explicit ClosingSource(HiveSource& source) : source_(source) {}
  ~ClosingSource() { source_.Close(); }
  ClosingSource(const ClosingSource&) = delete;
  ClosingSource& operator=(const ClosingSource&) = delete;

 private:
  HiveSource& source_;
};

// True for a run that exports (-x): its standard output carries records
// alone, and its messages go to standard error.
bool Exports(const RunOptions& options) { return (options.flags & OPT_EXPORT) != 0; }

// The options of the command line, after the banner (which an export leaves
// out), with the output encoding set; the exit code instead when the usage
// text is all the run prints (each word that did nothing then said on `err`).
std::optional<int> ReadCommandLine(const std::vector<std::u16string>& words, RunOptions* options, Console& out,
                                   Console& err) {
  const ParseVerdict verdict = ParseCommandLine(words, options);
  if (verdict != ParseVerdict::kRun || !Exports(*options)) out.Wide(MSG_BANNER);
  if ((options->flags & OPT_UTF8) != 0) {
    out.SetEncoding(TextEncoding::kUtf8);
    err.SetEncoding(TextEncoding::kUtf8);
  }
  if (verdict == ParseVerdict::kRun) return std::nullopt;
  // No file is opened, so the error stream can lead into no evidence.
  NoteCommandLine(*options, err);
  out.Wide(MSG_USAGE);
  return verdict == ParseVerdict::kUsageRequested ? 0 : 1;
}

// The options an export refuses, in the order the refusal names the first.
struct RefusedOption {
  uint32_t bit;
  const char16_t* word;
};
constexpr RefusedOption EXPORT_REFUSES[] = {
    {OPT_LIST_SUBKEYS, u"-l"}, {OPT_LIST_VALUES, u"-e"}, {OPT_SECURITY, u"-s"}, {OPT_INFO, u"-i"},
    {OPT_VALUE, u"-v"},        {OPT_UNNAMED, u"-u"},     {OPT_DECODE, u"-d"},   {OPT_DUMP, u"-w"},
};

// An export's format; nothing, with the one line that says why on `err`, for
// a format it does not know or an option it cannot be combined with.
//
// Choice: the reports print one key for a person to read, the export every
// key for a program; a run that asked for both would mix them on one stream,
// so it is refused before anything is opened.
std::optional<ExportFormat> ExportRequest(const RunOptions& options, Console& err) {
  for (const RefusedOption& refused : EXPORT_REFUSES) {
    if ((options.flags & refused.bit) == 0) continue;
    err.Format(MSG_EXPORT_COMBINED, {refused.word});
    return std::nullopt;
  }
  const std::optional<ExportFormat> format = ExportFormatNamed(options.export_format);
  if (!format) err.Format(MSG_EXPORT_UNKNOWN_FORMAT, {options.export_format});
  return format;
}

// Gathers the files the run must never write and tells both streams, when
// the run writes a file at all: a dump file, or standard output or error sent
// to a file (a shell's ">>" onto the hive or a log). Every other run is spared
// the search. Standard output that leads into them gets nothing, not even a
// message that the hive cannot be opened, and the run ends at once (false);
// standard error is only silenced: it carries no result.
bool ProtectEvidence(const RunOptions& options, HiveSource& source, OutputSink& out, OutputSink& err,
                     Evidence* evidence) {
  const bool dumps = (options.flags & OPT_DUMP) != 0 && (options.flags & (OPT_VALUE | OPT_UNNAMED)) != 0;
  if (!dumps && !out.IsFile() && !err.IsFile()) return true;
  *evidence = source.GatherEvidence();
  static_cast<void>(err.Protect(*evidence));  // refused or not, the run goes on
  return out.Protect(*evidence);
}

// The message for a hive that could not be opened, and its cause on `err`.
// Returns the exit code, 1.
int ReportOpenFailure(MapStatus status, const FileProblem& problem, const std::u16string& path, Console& out,
                      Console& err) {
  const char16_t* message = MSG_CANNOT_OPEN_TARGET;
  if (status == MapStatus::kCannotMapTarget) message = MSG_CANNOT_MAP_TARGET;
  if (status == MapStatus::kCannotMapMemory) message = MSG_CANNOT_MAP_MEMORY;
  out.Format(message, {path});
  NoteFileProblem(status == MapStatus::kCannotOpen ? MSG_NOTE_CANNOT_OPEN : MSG_NOTE_CANNOT_MAP, path, problem,
                  false, err);
  return 1;
}

// -t: plans the replay of the logs of `opened` that could be had over the
// hive and, when it changes anything, applies it to a private view of the
// hive and points `image` at that view; then prints the status line, and on
// `err` why each log was not applied and why the recovery may be incomplete.
// False, with the message printed, when the view cannot be made.
bool ApplyTransactionLogs(HiveSource& hive, const std::vector<OpenedLog>& opened, const RunOptions& options,
                          HiveImage* image, Console& out, Console& err) {
  const std::u16string& path = options.hive_path;
  std::vector<LogFile> logs;
  for (const OpenedLog& log : opened) {
    if (log.bytes.data != nullptr) logs.push_back(LogFile{log.name, ByteReader(log.bytes.data, log.bytes.size)});
  }
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
      err.Format(MSG_NOTE_NO_PRIVATE_VIEW, {path, std::max(stored, plan.image_size)});
      return false;
    }
    if (ApplyRecoveryPlan(plan, std::span<uint8_t>(view, static_cast<size_t>(length)))) {
      // The walks' budget counts the bytes that hold data, not the zeros of
      // a hive the logs say is larger.
      *image = HiveImage(view, length, stored + plan.bytes_written);
    } else {
      // A view as long as the plan asks takes every write, each a view of
      // its own log; should one still be refused, nothing was written and
      // the hive reads as stored, as the status line then says.
      *image = HiveImage(view, stored);
      plan.summary = RecoverySummary{};
      plan.summary.state = RecoveryState::kNoUsableLog;
    }
  }
  PrintLogStatus(plan.summary, out);
  NoteLogs(opened, plan.summary, !options.log_paths.empty(), err);
  // A dirty hive with no log at all to consider: where its logs may be.
  if (plan.summary.state != RecoveryState::kClean && opened.empty()) {
    NoteDirtyHive(image->reader(), hive.NameLogsBeside(), err);
  }
  if (plan.summary.gap_from) {
    err.Format(MSG_LOGS_GAP_NOTE, {*plan.summary.gap_from, plan.summary.first_sequence});
  }
  return true;
}

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

// Says on `err` what the file read is when it is not a hive; for a hive, that
// it is dirty (read as stored) or shorter than it declares. Returns whether
// it was cut short. `stored` is the length of the file itself.
bool NoteHiveState(const RunOptions& options, HiveSource& source, const HiveImage& image, uint64_t stored,
                   Console& err) {
  const FileKindCheck kind = CheckFileKind(image.reader());
  if (kind.kind != FileKind::kHive) {
    NoteFileKind(kind, options.hive_path, image.size(), err);
    return false;
  }
  if ((options.flags & (OPT_LOGS | OPT_LOG_FILE)) == 0 && IsHiveDirty(image.reader())) {
    NoteDirtyHive(image.reader(), source.NameLogsBeside(), err);
  }
  const std::optional<Truncation> cut = FindTruncation(image.reader(), stored);
  if (cut) NoteTruncation(*cut, err);
  return cut.has_value();
}

// Selects the key and runs the reports asked for, always in the same order.
// Returns the exit code.
int RunReports(const RunOptions& options, const HiveImage& image, bool truncated, const Evidence& evidence,
               Console& out, Console& err) {
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
    const KeyPathLookup lookup = LookUpKeyPath(image, options.key_path);
    NoteKeyLookup(lookup, image, err);
    if (!lookup.key) {
      out.Format(MSG_CANNOT_FIND_KEY, {options.key_path});
      return 1;
    }
    key = *lookup.key;
  }
  const std::u16string_view shown_path =
      (options.flags & OPT_KEY) != 0 ? std::u16string_view(options.key_path) : MSG_ROOT;
  out.Format(MSG_KEY_PATH, {shown_path});

  if ((options.flags & OPT_INFO) != 0) {
    out.Wide(MSG_SEPARATOR);
    if (!ShowKeyInformation(image, key, shown_path, truncated, out)) return 1;
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
    NoteShortListing(ListSubkeys(image, key, out), true, err);
  }
  if ((options.flags & OPT_LIST_VALUES) != 0) {
    out.Wide(MSG_SEPARATOR);
    NoteShortListing(ListValues(image, key, out), false, err);
  }
  if ((options.flags & (OPT_VALUE | OPT_UNNAMED)) != 0) {
    out.Wide(MSG_SEPARATOR);
    if (!ShowValue(image, key, ValueRequestOf(options), evidence, out, err)) return 1;
  }
  return 0;
}

// The steps of a run, each ending it when it fails. Returns the exit code.
int RunSteps(const std::vector<std::u16string>& words, OutputSink& out_sink, OutputSink& err_sink,
             HiveSource& source, Console& out, Console& err) {
  RunOptions options;
  if (const std::optional<int> code = ReadCommandLine(words, &options, out, err)) return *code;
  std::optional<ExportFormat> format;
  if (Exports(options) && !(format = ExportRequest(options, err))) return 1;
  // An export's standard output carries its records alone: the messages, and
  // the -t status line, go to standard error, each line after "keyscout: ".
  Console& messages = format ? err : out;
  const auto message_start = [&] {
    if (format) err.Wide(MSG_ERROR_PREFIX);
  };
  // The logs are read only with -t or -L: without either the run reads the
  // hive alone.
  const bool with_logs = (options.flags & (OPT_LOGS | OPT_LOG_FILE)) != 0;

  const ClosingSource closing(source);
  if (!options.log_paths.empty()) source.UseLogs(options.log_paths);
  FileBytes hive;
  const MapStatus opened = source.Open(options.hive_path, &hive);
  std::vector<OpenedLog> logs;
  if (opened == MapStatus::kOk && with_logs) logs = source.OpenLogs();
  Evidence evidence;
  if (!ProtectEvidence(options, source, out_sink, err_sink, &evidence)) return 1;
  // Only now: many notes could fill the error stream's buffer, and it must
  // not be written before it is known whether it leads into the evidence.
  NoteCommandLine(options, err);
  if (opened != MapStatus::kOk) {
    message_start();
    return ReportOpenFailure(opened, source.OpenProblem(), options.hive_path, messages, err);
  }

  HiveImage image(hive.data, hive.size);
  if (with_logs) {
    message_start();
    if (!ApplyTransactionLogs(source, logs, options, &image, messages, err)) return 1;
  }
  const bool truncated = NoteHiveState(options, source, image, hive.size, err);
  if (format) {
    // The records' line ends are their format's, on every system.
    out.Flush();
    out_sink.KeepLineEnds();
    return ExportKeys(image, (options.flags & OPT_KEY) != 0 ? &options.key_path : nullptr, *format,
                      (options.flags & OPT_RECOVER) != 0, options.hive_path, out, err);
  }
  return RunReports(options, image, truncated, evidence, out, err);
}

}  // namespace

int RunTool(const std::vector<std::u16string>& words, OutputSink& out_sink, OutputSink& err_sink,
            HiveSource& source) try {
  Console out(out_sink);
  Console err(err_sink, ERROR_STREAM_BUFFER);
  int code = 1;
  try {
    code = RunSteps(words, out_sink, err_sink, source, out, err);
  } catch (const std::bad_alloc&) {
    // Running out of memory anywhere ends the run with one line; the source
    // is closed as the steps unwind.
    out.Wide(MSG_OUT_OF_MEMORY);
  }
  out.Flush();
  if (!out_sink.failure().empty()) {
    // Standard output is the thing that failed, so this line goes to the
    // error stream: a script must not take a lost listing for a finished one.
    err.Ascii(MSG_OUTPUT_LOST_PREFIX);
    err.Ascii(out_sink.failure());
    err.Ascii(")\n");
    code = 1;
  }
  err.Flush();
  return code;
} catch (const std::bad_alloc&) {
  return 1;  // not even the consoles' buffers could be had: nothing can be said
}

}  // namespace keyscout
