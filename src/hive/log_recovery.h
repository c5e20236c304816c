// Replaying a dirty hive's transaction logs, as pure code over bytes.
//
// Windows writes a change first to a log beside the hive and only later to
// the hive itself, so a hive copied off a running machine may hold its newest
// data only in its logs. PlanLogRecovery reads the hive's base block and the
// logs found beside it and says what a recovered hive would look like: a new
// base block and the pages to write over the stored ones. ApplyRecoveryPlan
// writes that into a private buffer. Neither ever touches the files or
// prints; every byte of the hive and the logs is read through ByteReader, and
// a damaged or hostile log is refused as the format says, never trusted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hive/byte_reader.h"
#include "hive/log_layout.h"

namespace keyscout {

// One log file found beside the hive: the name it was found under (shown in
// the status line as it is) and its bytes.
struct LogFile {
  std::u16string name;
  ByteReader bytes;
};

enum class LogFormat : uint8_t { kOld, kNew };

enum class RecoveryState : uint8_t {
  kClean,        // the hive needs no log; nothing is applied
  kApplied,      // the plan changes the hive
  kNoUsableLog,  // the hive is dirty, but no log could be applied: read it as stored
};

// A log the plan applies, in the order applied.
struct AppliedLog {
  size_t log = 0;        // its index among the logs given
  std::u16string name;   // its name as given
  uint64_t entries = 0;  // log entries applied: at least 1 (new format), 0 (old)
};

// What became of one log given to PlanLogRecovery.
enum class LogVerdict : uint8_t {
  kNotConsidered,       // the hive is clean: no log was looked at
  kApplied,             // its entries (new format) or pages (old format) are applied
  kDamagedBaseBlock,    // its base block copy is not a usable log's (`damage` says how)
  kOlderThanHive,       // it holds nothing the hive lacks
  kSequenceGap,         // it starts at sequence `found` where `expected` was due next
  kNoSoundEntry,        // new format: its first entry is not sound (`end` says why)
  kNothingNew,          // new format: its sound entries were all applied already, from another log
  kNotNewest,           // another log is newer, and only the newest applies (old format; or the
                        // hive's base block is invalid)
  kDamagedDirtyVector,  // old format: its dirty vector is damaged or names pages it lacks
  kOtherFormatApplied,  // old format: logs of the newer format were applied instead
};

// How a log's base block copy fails to be a usable log's.
enum class LogHeaderDamage : uint8_t {
  kNone,
  kChecksum,   // the checksum does not hold
  kSignature,  // no "regf"
  kSequences,  // its two sequence numbers differ: the log itself was not written in full
  kFileType,   // its file type is not a log's
};

// How the replay of a new-format log ended.
enum class EntryEnd : uint8_t {
  kEnd,           // at its end: no further entry, or one of another sequence number (a stale one)
  kDamaged,       // at an entry whose sizes, page references or hive size are wrong
  kHashMismatch,  // at an entry whose hashes do not match its bytes
};

// One log's fate and its reason, for the diagnostics of -t.
struct LogOutcome {
  LogVerdict verdict = LogVerdict::kNotConsidered;
  LogHeaderDamage damage = LogHeaderDamage::kNone;
  // New format: how the replay ended, and at which entry of the log
  // (counted from 1) when not at its end.
  EntryEnd end = EntryEnd::kEnd;
  uint64_t end_entry = 0;
  // kSequenceGap: the sequence number due next, and the log's own.
  uint32_t expected = 0;
  uint32_t found = 0;
};

// What the plan does, for the status line (app/log_status.h).
struct RecoverySummary {
  RecoveryState state = RecoveryState::kClean;
  LogFormat format = LogFormat::kNew;  // meaningful when applied
  std::vector<AppliedLog> applied;
  uint32_t first_sequence = 0;  // new format: first entry applied
  uint32_t last_sequence = 0;   // new format: last entry applied
  // New format, the hive's base block valid: the hive's own sequence number
  // when the first entry applied does not follow it, so that entries in
  // between are missing and the recovery may be incomplete.
  std::optional<uint32_t> gap_from;
  uint64_t pages = 0;  // old format: 512-byte pages written
  // One per log given, in the order given.
  std::vector<LogOutcome> logs;
};

// Bytes copied from a log over the hive bins data.
struct PageWrite {
  uint32_t hive_offset = 0;  // relative offset (file offset HIVE_BASE + this)
  ByteReader bytes;          // what is written there: a view into the log they come from
};

// A recovered hive, described as changes to the stored one.
//
// Choice: the recovered base block is the checksummed first BASE_COPY_SIZE
// bytes, not the whole 4096-byte block. Those are all a log carries and all
// that the checksum covers; the rest of the block holds nothing a log could
// change, so it keeps the hive's bytes and is never written.
struct RecoveryPlan {
  RecoverySummary summary;
  // The recovered base block (file type 0, checksum valid). Only when applied.
  std::array<uint8_t, BASE_COPY_SIZE> base_block{};
  // The recovered hive bins data size, as the base block states it.
  uint32_t hive_bins_size = 0;
  // The fewest bytes the buffer handed to ApplyRecoveryPlan must hold:
  // HIVE_BASE + hive_bins_size, or more when an earlier entry wrote further
  // than a later one shrank the hive to. A stored hive that is longer keeps
  // its length.
  uint64_t image_size = 0;
  // Page writes in the order they must be made (a later one may overwrite an
  // earlier one). They view the logs' bytes, so the plan may be applied only
  // while the logs it was made from stay open.
  std::vector<PageWrite> writes;
  // The bytes they write, in all: with the stored hive, the bytes of the
  // recovered hive that exist (the rest of a grown hive reads zero).
  uint64_t bytes_written = 0;
};

// Decides whether the hive is dirty, which of `logs` apply and in what order,
// and reads them into a plan. A clean hive gives state kClean and a hive with
// nothing applicable kNoUsableLog, both without writes; a damaged log is left
// out, and the summary says of each log why it was applied or not. The plan's memory is bounded by the sizes of the
// logs (at most one write per 512 bytes of log), and its image_size by the
// stored hive's size plus theirs. Prints nothing.
RecoveryPlan PlanLogRecovery(const ByteReader& hive, const std::vector<LogFile>& logs);

// Writes the plan into `image`, a writable copy of the hive that the caller
// has made at least plan.image_size long (bytes past the stored hive zeroed):
// the base block's first BASE_COPY_SIZE bytes, then every page. Nothing else
// is written. Returns true at once for a plan that applies nothing. Fails
// (false) and writes nothing when a write does not lie inside `image`, as
// when it is shorter than plan.image_size. Prints nothing.
[[nodiscard]] bool ApplyRecoveryPlan(const RecoveryPlan& plan, std::span<uint8_t> image);

}  // namespace keyscout
