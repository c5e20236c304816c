#include "app/diagnostics.h"

#include <algorithm>

#include "app/messages.h"
#include "hive/layout.h"
#include "text/numbers.h"
#include "text/utf8.h"

namespace keyscout {

namespace {

// The most names of files one line lists.
constexpr size_t NAMES_SHOWN_MOST = 3;

// The cause of a file problem in words.
std::u16string CauseOf(const FileProblem& problem, bool creating) {
  switch (problem.kind) {
    case FileProblemKind::kMissing:
      return creating ? MSG_CAUSE_NO_FOLDER : MSG_CAUSE_MISSING;
    case FileProblemKind::kFolder:
      return MSG_CAUSE_FOLDER;
    case FileProblemKind::kNoPermission:
      return MSG_CAUSE_NO_PERMISSION;
    case FileProblemKind::kLocked:
      return MSG_CAUSE_LOCKED;
    case FileProblemKind::kNotPlainFile:
      return MSG_CAUSE_NOT_PLAIN;
    case FileProblemKind::kEmpty:
      return MSG_CAUSE_EMPTY;
    case FileProblemKind::kTooLarge:
      return MSG_CAUSE_TOO_LARGE;
    case FileProblemKind::kIsHive:
      return MSG_CAUSE_IS_HIVE;
    case FileProblemKind::kIsLog:
      return MSG_CAUSE_IS_LOG;
    case FileProblemKind::kNone:
    case FileProblemKind::kSystem:
      break;
  }
  return DecodeCommandWord(problem.system_text);
}

// Names joined by " and ".
std::u16string JoinNames(const std::vector<std::u16string>& names) {
  // Choice: a folder of collected files may hold hundreds of ".log" names;
  // the first few say enough, and the line stays one line.
  const size_t shown = std::min(names.size(), NAMES_SHOWN_MOST);
  std::u16string joined;
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) joined += i + 1 == names.size() ? MSG_NOTE_NAMES_AND : MSG_NOTE_NAMES_COMMA;
    joined += names[i];
  }
  if (shown < names.size()) {
    joined += MSG_NOTE_NAMES_AND;
    joined += DecimalText(names.size() - shown);
    joined += MSG_NOTE_NAMES_MORE;
  }
  return joined;
}

// Why a log with bytes was not applied, from its outcome, written after
// MSG_NOTE_LOG_NOT_APPLIED.
void WriteLogCause(const LogOutcome& outcome, Console& err) {
  const char16_t* entry = outcome.end == EntryEnd::kHashMismatch ? MSG_CAUSE_ENTRY_HASH : MSG_CAUSE_ENTRY_DAMAGED;
  switch (outcome.damage) {
    case LogHeaderDamage::kChecksum:
      return err.Wide(MSG_CAUSE_LOG_CHECKSUM);
    case LogHeaderDamage::kSignature:
      return err.Wide(MSG_CAUSE_LOG_SIGNATURE);
    case LogHeaderDamage::kSequences:
      return err.Wide(MSG_CAUSE_LOG_SEQUENCES);
    case LogHeaderDamage::kFileType:
      return err.Wide(MSG_CAUSE_LOG_FILE_TYPE);
    case LogHeaderDamage::kNone:
      break;
  }
  switch (outcome.verdict) {
    case LogVerdict::kOlderThanHive:
      return err.Wide(MSG_CAUSE_LOG_OLDER);
    case LogVerdict::kSequenceGap:
      return err.Format(MSG_CAUSE_LOG_GAP, {outcome.found, outcome.expected});
    case LogVerdict::kNothingNew:
      return err.Wide(MSG_CAUSE_LOG_NOTHING_NEW);
    case LogVerdict::kNotNewest:
      return err.Wide(MSG_CAUSE_LOG_NOT_NEWEST);
    case LogVerdict::kDamagedDirtyVector:
      return err.Wide(MSG_CAUSE_LOG_DIRTY_VECTOR);
    case LogVerdict::kOtherFormatApplied:
      return err.Wide(MSG_CAUSE_LOG_OTHER_FORMAT);
    case LogVerdict::kNoSoundEntry:
      if (outcome.end != EntryEnd::kEnd) return err.Format(MSG_CAUSE_LOG_FIRST_ENTRY, {entry});
      [[fallthrough]];
    default:
      return err.Wide(MSG_CAUSE_LOG_NO_ENTRY);
  }
}

}  // namespace

void NoteCommandLine(const RunOptions& options, Console& err) {
  for (const CommandLineNote& note : options.notes) {
    switch (note.kind) {
      case CommandLineNote::Kind::kNotAnOption:
        if (const char16_t* option = OptionInOtherCase(note.word)) {
          err.Format(MSG_NOTE_OTHER_CASE, {note.word, option});
        } else if (const std::u16string joined = SplitJoinedOptions(note.word); !joined.empty()) {
          err.Format(MSG_NOTE_JOINED, {note.word, joined});
        } else {
          err.Format(MSG_NOTE_NOT_AN_OPTION, {note.word});
        }
        break;
      case CommandLineNote::Kind::kNoArgument:
        err.Format(MSG_NOTE_NO_ARGUMENT, {note.word});
        break;
      case CommandLineNote::Kind::kReplaced:
        err.Format(MSG_NOTE_REPLACED, {note.word, note.argument});
        break;
      case CommandLineNote::Kind::kTooManyLogs:
        err.Format(MSG_NOTE_TOO_MANY_LOGS, {note.argument});
        break;
    }
  }
  const bool value = (options.flags & (OPT_VALUE | OPT_UNNAMED)) != 0;
  if ((options.flags & OPT_DECODE) != 0 && !value) err.Wide(MSG_NOTE_DECODE_WITHOUT_VALUE);
  if ((options.flags & OPT_DUMP) != 0 && !value) err.Format(MSG_NOTE_DUMP_WITHOUT_VALUE, {options.output_file});
  if ((options.flags & OPT_VALUE) != 0 && (options.flags & OPT_UNNAMED) != 0) err.Wide(MSG_NOTE_UNNAMED_AND_VALUE);
  if ((options.flags & OPT_RECOVER) != 0 && (options.flags & OPT_EXPORT) == 0) {
    err.Wide(MSG_NOTE_RECOVER_WITHOUT_EXPORT);
  }
}

void NoteFileProblem(const char16_t* message, std::u16string_view path, const FileProblem& problem, bool creating,
                     Console& err) {
  if (problem.kind == FileProblemKind::kNone) return;  // no cause known: nothing to add
  err.Format(message, {path, CauseOf(problem, creating)});
}

void NoteFileKind(const FileKindCheck& check, std::u16string_view path, uint64_t length, Console& err) {
  err.Format(MSG_NOTE_NOT_A_HIVE, {path});
  if (check.kind == FileKind::kOldFormatLog || check.kind == FileKind::kNewFormatLog) {
    err.Format(MSG_NOTE_IS_LOG, {check.kind == FileKind::kOldFormatLog ? MSG_NOTE_OLD_FORMAT : MSG_NOTE_NEW_FORMAT});
    err.Ascii("\n");
    return;
  }
  if (!check.has_regf) err.Wide(check.has_hbin ? MSG_NOTE_NO_REGF : MSG_NOTE_NO_SIGNATURES);
  if (check.has_regf && !check.has_hbin) err.Wide(MSG_NOTE_NO_HBIN);
  // A file that ends before the first hbin's signature could be read.
  if (!check.has_hbin && length < HIVE_BASE + 4) err.Format(MSG_NOTE_ONLY_BYTES, {length});
  switch (check.kind) {
    case FileKind::kXz:
      err.Wide(MSG_NOTE_LOOKS_XZ);
      break;
    case FileKind::kGzip:
      err.Wide(MSG_NOTE_LOOKS_GZIP);
      break;
    case FileKind::kZip:
      err.Wide(MSG_NOTE_LOOKS_ZIP);
      break;
    case FileKind::kSevenZip:
      err.Wide(MSG_NOTE_LOOKS_7Z);
      break;
    case FileKind::kBzip2:
      err.Wide(MSG_NOTE_LOOKS_BZIP2);
      break;
    case FileKind::kEventLog:
      err.Wide(MSG_NOTE_LOOKS_EVTX);
      break;
    default:
      break;
  }
  err.Ascii("\n");
}

void NoteDirtyHive(const ByteReader& hive, const LogNames& beside, Console& err) {
  uint32_t primary = 0;
  uint32_t secondary = 0;
  if (BaseBlockChecksumValid(hive) && hive.U32(BASE_PRIMARY_SEQUENCE, &primary) &&
      hive.U32(BASE_SECONDARY_SEQUENCE, &secondary)) {
    err.Format(MSG_NOTE_DIRTY, {primary, secondary});
  } else {
    err.Wide(MSG_NOTE_DIRTY_CHECKSUM);
  }
  if (!beside.own.empty()) {
    err.Format(MSG_NOTE_LOGS_BESIDE, {JoinNames(beside.own)});
  } else if (!beside.others.empty()) {
    // Names found in the folder, not typed: as untrusted as a hive's own.
    err.Format(MSG_NOTE_OTHER_LOGS_BESIDE, {FromHive{JoinNames(beside.others)}});
  } else {
    err.Wide(MSG_NOTE_NO_LOGS_BESIDE);
  }
}

void NoteTruncation(const Truncation& cut, Console& err) {
  err.Format(MSG_NOTE_TRUNCATED, {cut.length, cut.declared});
}

void NoteKeyLookup(const KeyPathLookup& lookup, const HiveImage& image, Console& err) {
  if (lookup.control_set) err.Format(MSG_NOTE_CONTROL_SET, {ControlSetName(*lookup.control_set)});
  const auto key_reached = [&] {
    if (lookup.found.empty()) {
      err.Wide(MSG_NOTE_ROOT_KEY);
    } else {
      err.Format(MSG_NOTE_KEY, {lookup.found});
    }
  };
  switch (lookup.failure) {
    case LookupFailure::kNone:
      break;
    case LookupFailure::kNotAHive:
      // A file without the signatures was said to be no hive already.
      if (HasHiveSignatures(image)) err.Format(MSG_NOTE_ROOT_DAMAGED, {IndexOf(RootKeyCell(image))});
      break;
    case LookupFailure::kNameTooLong:
      err.Format(MSG_NOTE_NAME_TOO_LONG, {lookup.missing});
      break;
    case LookupFailure::kNotFound:
      key_reached();
      err.Format(MSG_NOTE_NO_SUBKEY, {lookup.missing});
      break;
    case LookupFailure::kListDamaged:
      key_reached();
      err.Format(MSG_NOTE_LIST_DAMAGED, {lookup.missing});
      break;
    case LookupFailure::kKeyDamaged:
      key_reached();
      err.Format(MSG_NOTE_KEY_DAMAGED, {lookup.missing});
      break;
    case LookupFailure::kNoCurrentControlSet:
      err.Format(MSG_NOTE_NO_CONTROL_SET, {lookup.missing});
      break;
  }
}

void NoteShortListing(const ListingTally& tally, bool subkeys, Console& err) {
  if (!tally.Short()) return;
  err.Format(subkeys ? MSG_NOTE_SHORT_SUBKEYS : MSG_NOTE_SHORT_VALUES, {tally.reached, *tally.recorded});
}

void NoteLogs(const std::vector<OpenedLog>& logs, const RecoverySummary& summary, bool named, Console& err) {
  const bool considered = summary.state != RecoveryState::kClean;
  size_t next = 0;  // the outcome of the next log that had bytes
  for (const OpenedLog& log : logs) {
    if (log.bytes.data == nullptr) {
      if (!considered && !named) continue;
      err.Format(MSG_NOTE_LOG_NOT_APPLIED, {log.name});
      if (log.problem.kind == FileProblemKind::kIsHive) {
        err.Wide(MSG_CAUSE_LOG_IS_HIVE);
      } else {
        err.Wide(CauseOf(log.problem, false));
      }
      err.Ascii("\n");
      continue;
    }
    if (next >= summary.logs.size()) continue;  // a clean hive: no log was considered
    const LogOutcome& outcome = summary.logs[next++];
    if (outcome.verdict == LogVerdict::kNotConsidered) continue;
    if (outcome.verdict == LogVerdict::kApplied) {
      if (outcome.end == EntryEnd::kEnd) continue;
      err.Format(MSG_NOTE_LOG_CUT_SHORT, {log.name, outcome.end_entry,
                                          outcome.end == EntryEnd::kHashMismatch ? MSG_CAUSE_ENTRY_HASH
                                                                                 : MSG_CAUSE_ENTRY_DAMAGED});
      continue;
    }
    err.Format(MSG_NOTE_LOG_NOT_APPLIED, {log.name});
    WriteLogCause(outcome, err);
    err.Ascii("\n");
  }
}

}  // namespace keyscout
