// The lines standard error gets to say why a run did what it did: one line
// per cause, each starting "keyscout: ", in plain words (messages.h). They
// never change standard output or the exit status, which scripts read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/listings.h"
#include "app/options.h"
#include "hive/base_block.h"
#include "hive/file_kind.h"
#include "hive/image.h"
#include "hive/key_lookup.h"
#include "hive/log_recovery.h"
#include "platform/file_problem.h"
#include "platform/hive_source.h"
#include "text/console.h"

namespace keyscout {

// Each word of the command line that did nothing, and each option that does
// nothing with the others given (-d or -w without -v or -u; -u with -v).
void NoteCommandLine(const RunOptions& options, Console& err);

// `message` (MSG_NOTE_CANNOT_OPEN and the like) naming `path`, with the cause
// of `problem`; `creating` for a file the run was to create, whose missing
// folder is the cause when the system says "no such file". Nothing when no
// cause is known.
void NoteFileProblem(const char16_t* message, std::u16string_view path, const FileProblem& problem, bool creating,
                     Console& err);

// That the file `path` (`length` bytes) is not a hive, what it lacks, and
// what its first bytes say it is instead.
void NoteFileKind(const FileKindCheck& check, std::u16string_view path, uint64_t length, Console& err);

// That the hive, read as stored, is dirty, and which logs beside it -t would
// apply (or -L, when none has its name).
void NoteDirtyHive(const ByteReader& hive, const LogNames& beside, Console& err);

void NoteTruncation(const Truncation& cut, Console& err);

// Which control set "CurrentControlSet" was read as, and for a key path not
// found how far the lookup came and why it stopped.
void NoteKeyLookup(const KeyPathLookup& lookup, const HiveImage& image, Console& err);

// That a listing reached fewer subkeys (`subkeys`) or values than its key
// records.
void NoteShortListing(const ListingTally& tally, bool subkeys, Console& err);

// -t: for each log of `logs` (the source's, in its order) that was not
// applied, why; for one applied up to a damaged entry, where. `summary` holds
// the outcomes of the logs that had bytes, in the same order. Only logs
// named by -L are spoken of when the hive is clean.
void NoteLogs(const std::vector<OpenedLog>& logs, const RecoverySummary& summary, bool named, Console& err);

}  // namespace keyscout
