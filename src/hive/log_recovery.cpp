#include "hive/log_recovery.h"

#include <algorithm>
#include <optional>
#include <span>

#include "hive/base_block.h"
#include "hive/marvin32.h"

namespace keyscout {

namespace {

using BaseBlock = std::array<uint8_t, BASE_COPY_SIZE>;

// The fields of a usable log's base block copy that replay needs.
struct LogHeader {
  size_t log = 0;
  uint32_t sequence = 0;  // primary, equal to secondary in a usable log
  uint32_t type = 0;
  uint32_t hive_bins_size = 0;
  uint64_t last_written = 0;
};

// What one log contributes when applied.
struct LogReplay {
  const LogHeader* header = nullptr;
  uint64_t entries = 0;         // new format: entries applied
  uint64_t pages = 0;           // old format
  uint32_t first_sequence = 0;  // new format: of the first entry applied
  uint32_t last_sequence = 0;   // new format: of the last entry applied
  uint32_t last_flags = 0;
  uint32_t hive_bins_size = 0;  // after the last entry (old format: the log's)
  std::vector<PageWrite> writes;
  uint64_t read = 0;            // new format: sound entries read, applied or not
  EntryEnd end = EntryEnd::kEnd;
  uint64_t end_entry = 0;       // new format: the entry the replay ended at, unless at the end
};

// What the hive's own base block says of its state, and what its logs may
// make of it.
struct HiveState {
  bool valid = false;  // base block checksum right
  uint32_t secondary = 0;
  std::optional<uint64_t> last_written;
  // The largest hive bins data size a log may leave the hive with.
  uint64_t most_bins_size = 0;
};

// a minus b as serial numbers: negative when a comes before b. Sequence
// numbers wrap at 2^32, so a difference above 0x7FFFFFFF means b wrapped.
int32_t SerialDifference(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b); }

bool IsLogType(uint32_t type) {
  return type == FILE_TYPE_OLD_LOG || type == FILE_TYPE_OLD_LOG_ALT || type == FILE_TYPE_NEW_LOG;
}

// The log's base block copy, when the log is usable: its checksum is right,
// its two sequence numbers are equal and its type is a log type. Else
// nothing, and `*damage` says which test failed.
//
// Choice: the copy must also read "regf". It is a copy of a hive's base
// block; one without the signature is not one, whatever its checksum says.
std::optional<LogHeader> ReadLogHeader(const ByteReader& log, size_t index, LogHeaderDamage* damage) {
  LogHeader header;
  header.log = index;
  uint32_t signature = 0;
  uint32_t secondary = 0;
  // The checksum holds only when all BASE_COPY_SIZE bytes are there, so
  // every field read below is.
  *damage = LogHeaderDamage::kChecksum;
  if (!BaseBlockChecksumValid(log)) return std::nullopt;
  *damage = LogHeaderDamage::kSignature;
  if (!log.U32(BASE_SIGNATURE, &signature) || signature != SIG_REGF) return std::nullopt;
  *damage = LogHeaderDamage::kSequences;
  if (!log.U32(BASE_PRIMARY_SEQUENCE, &header.sequence) || !log.U32(BASE_SECONDARY_SEQUENCE, &secondary) ||
      header.sequence != secondary) {
    return std::nullopt;
  }
  *damage = LogHeaderDamage::kFileType;
  if (!log.U32(BASE_FILE_TYPE, &header.type) || !IsLogType(header.type)) return std::nullopt;
  if (!log.U32(BASE_HIVE_BINS_SIZE, &header.hive_bins_size)) return std::nullopt;
  if (!log.U64(BASE_LAST_WRITTEN, &header.last_written)) return std::nullopt;
  *damage = LogHeaderDamage::kNone;
  return header;
}

// The fields of a new-format entry that replay carries on.
struct EntryHeader {
  uint32_t size = 0;
  uint32_t flags = 0;
  uint32_t hive_bins_size = 0;
};

// How reading one new-format entry went.
enum class EntryRead : uint8_t { kSound, kEnd, kDamaged, kHashMismatch };

// Reads the new-format entry at file offset `at` and appends its page writes.
// Anything but kSound, with nothing appended, when the entry is not a sound
// one carrying sequence number `expected`, or leaves the hive larger than
// `most_bins_size`: replay of the log ends there. No "HvLE" there, or an
// entry of another sequence number (a stale one, from before the log was
// last begun again), is the log's end.
EntryRead ReadEntry(const ByteReader& log, uint64_t at, uint32_t expected, uint64_t most_bins_size,
                    std::vector<PageWrite>* writes, EntryHeader* header) {
  uint32_t signature = 0;
  uint32_t size = 0;
  uint32_t sequence = 0;
  if (!log.U32(at + HVLE_SIGNATURE, &signature) || signature != SIG_HVLE) return EntryRead::kEnd;
  // A stale entry ends the log whatever else is wrong with it; only an entry
  // of the sequence number due can be damaged.
  // (When the field cannot be read, the entry's view below cannot be had.)
  if (log.U32(at + HVLE_SEQUENCE, &sequence) && sequence != expected) return EntryRead::kEnd;
  if (!log.U32(at + HVLE_SIZE, &size) || size < HVLE_ALIGN || size % HVLE_ALIGN != 0) return EntryRead::kDamaged;
  // The entry is read through a view of its own size: no field, reference or
  // page of it can be taken from the log beyond its end.
  const ByteReader entry = log.Sub(at, size);
  if (entry.IsNull()) return EntryRead::kDamaged;
  uint32_t flags = 0;
  uint32_t hive_bins_size = 0;
  uint32_t count = 0;
  uint64_t pages_hash = 0;
  uint64_t header_hash = 0;
  if (!entry.U32(HVLE_FLAGS, &flags) || !entry.U32(HVLE_HIVE_BINS_SIZE, &hive_bins_size) ||
      !entry.U32(HVLE_PAGE_COUNT, &count) || !entry.U64(HVLE_HASH_PAGES, &pages_hash) ||
      !entry.U64(HVLE_HASH_HEADER, &header_hash)) {
    return EntryRead::kDamaged;
  }
  if (hive_bins_size < PAGE_SIZE || hive_bins_size % PAGE_SIZE != 0 || hive_bins_size > HIVE_BINS_SIZE_MAX ||
      hive_bins_size > most_bins_size) {
    return EntryRead::kDamaged;
  }
  const uint64_t refs_end = HVLE_PAGE_REFS + HVLE_REF_BYTES * uint64_t{count};
  if (count == 0 || refs_end > size) return EntryRead::kDamaged;
  if (HashMarvin32(entry, 0, HVLE_HEADER_HASHED) != header_hash ||
      HashMarvin32(entry, HVLE_PAGE_REFS, size - HVLE_PAGE_REFS) != pages_hash) {
    return EntryRead::kHashMismatch;
  }

  const size_t kept = writes->size();
  uint64_t data = refs_end;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t ref = HVLE_PAGE_REFS + HVLE_REF_BYTES * i;
    uint32_t offset = 0;
    uint32_t length = 0;
    // A page must lie inside the hive as this entry leaves it, and its bytes
    // inside the entry.
    //
    // Choice: a page must also start and end on a 4096-byte boundary, or the
    // entry is damaged. Windows logs whole pages (each of the 153 references
    // in the real logs of the test corpus is a multiple of 4096 in both
    // fields), and a smaller one would let each 9 bytes of log make the view
    // copy a whole page of memory: a few MB of log could take gigabytes.
    const bool read = entry.U32(ref + HVLE_REF_OFFSET, &offset) && entry.U32(ref + HVLE_REF_SIZE, &length);
    const ByteReader page = entry.Sub(data, length);
    if (!read || offset % PAGE_SIZE != 0 || length % PAGE_SIZE != 0 ||
        uint64_t{offset} + length > hive_bins_size || page.IsNull()) {
      writes->resize(kept);
      return EntryRead::kDamaged;
    }
    // An empty page writes nothing; leaving it out keeps the plan within one
    // write per 4096 bytes of log, however many references a log holds.
    if (length != 0) writes->push_back(PageWrite{offset, page});
    data += length;
  }
  *header = EntryHeader{size, flags, hive_bins_size};
  return EntryRead::kSound;
}

// The entries of a new-format log up to the first that is not sound. Those
// numbered before `from` are checked (reading goes on past them) but not
// applied.
LogReplay ReplayNewLog(const ByteReader& log, const LogHeader& header, uint32_t from, uint64_t most_bins_size) {
  LogReplay replay;
  replay.header = &header;
  uint64_t at = HVLE_FIRST_ENTRY;
  uint32_t sequence = header.sequence;
  EntryHeader entry;
  // Each entry read moves on by at least HVLE_ALIGN bytes of the file.
  for (;; ++sequence) {
    const EntryRead read = ReadEntry(log, at, sequence, most_bins_size, &replay.writes, &entry);
    if (read != EntryRead::kSound) {
      if (read != EntryRead::kEnd) {
        replay.end = read == EntryRead::kHashMismatch ? EntryEnd::kHashMismatch : EntryEnd::kDamaged;
        replay.end_entry = replay.read + 1;
      }
      break;
    }
    ++replay.read;
    at += entry.size;
    if (SerialDifference(sequence, from) < 0) {
      // An entry applied already, from an earlier log. Such entries come
      // before any this log applies, so every write so far is theirs.
      replay.writes.clear();
      continue;
    }
    if (replay.entries++ == 0) replay.first_sequence = sequence;
    replay.last_sequence = sequence;
    replay.last_flags = entry.flags;
    replay.hive_bins_size = entry.hive_bins_size;
  }
  return replay;
}

// An old-format log's dirty pages, or nothing when its dirty vector is
// damaged, longer than the file, or names more pages than the file holds.
std::optional<LogReplay> ReplayOldLog(const ByteReader& log, const LogHeader& header, uint64_t most_bins_size) {
  // Choice: the bitmap's length comes from this size, so a size that is not
  // a whole number of bitmap bytes, or no hbin at all, marks the base block
  // as damaged rather than being rounded.
  if (header.hive_bins_size < PAGE_SIZE || header.hive_bins_size % DIRT_BYTE_SPAN != 0 ||
      header.hive_bins_size > HIVE_BINS_SIZE_MAX || header.hive_bins_size > most_bins_size) {
    return std::nullopt;
  }
  uint32_t signature = 0;
  if (!log.U32(DIRT_VECTOR, &signature) || signature != SIG_DIRT) return std::nullopt;
  const uint64_t bitmap_bytes = header.hive_bins_size / DIRT_BYTE_SPAN;
  if (!log.Contains(DIRT_BITMAP, bitmap_bytes)) return std::nullopt;
  const uint64_t bitmap_end = DIRT_BITMAP + bitmap_bytes;
  const uint64_t pages_at = (bitmap_end + DIRT_PAGES_ALIGN - 1) / DIRT_PAGES_ALIGN * DIRT_PAGES_ALIGN;

  LogReplay replay;
  replay.header = &header;
  replay.hive_bins_size = header.hive_bins_size;
  for (uint64_t byte_index = 0; byte_index < bitmap_bytes; ++byte_index) {
    uint8_t bits = 0;
    if (!log.U8(DIRT_BITMAP + byte_index, &bits)) return std::nullopt;
    for (uint32_t bit = 0; bits != 0 && bit < 8; ++bit) {
      if ((bits & (1u << bit)) == 0) continue;
      const uint64_t hive_offset = (byte_index * 8 + bit) * DIRT_PAGE_SIZE;
      const uint64_t log_offset = pages_at + replay.pages * DIRT_PAGE_SIZE;
      if (!log.Contains(log_offset, DIRT_PAGE_SIZE)) return std::nullopt;
      ++replay.pages;
      // Pages are packed in the log, so a run of set bits is one copy: the
      // run's view, which ends at this page in the log, takes it in too.
      PageWrite* run = replay.writes.empty() ? nullptr : &replay.writes.back();
      if (run != nullptr && run->hive_offset + run->bytes.size() == hive_offset) {
        run->bytes = log.Sub(log_offset - run->bytes.size(), run->bytes.size() + DIRT_PAGE_SIZE);
      } else {
        replay.writes.push_back(PageWrite{static_cast<uint32_t>(hive_offset), log.Sub(log_offset, DIRT_PAGE_SIZE)});
      }
    }
  }
  return replay;
}

// The recovered base block: the hive's own when it is valid, else the last
// applied log's copy; root cell, version and last written time from that
// log; then the fields replay sets. False when a base block cannot be read.
bool BuildBaseBlock(const ByteReader& hive, const HiveState& state, const ByteReader& last_log,
                    uint32_t sequence, uint32_t hive_bins_size, uint32_t flags, BaseBlock* block) {
  const ByteReader& source = state.valid ? hive : last_log;
  // Each field the log gives is copied to its own offset in the block.
  const auto from_log = [&](uint64_t at, uint64_t length) { return last_log.Copy(at, length, *block, at); };
  if (!source.Copy(0, BASE_COPY_SIZE, *block) || !from_log(BASE_ROOT_CELL, 4) ||
      !from_log(BASE_MAJOR_VERSION, 4) || !from_log(BASE_MINOR_VERSION, 4) || !from_log(BASE_LAST_WRITTEN, 8)) {
    return false;
  }
  if (!PutU32(*block, BASE_PRIMARY_SEQUENCE, sequence) || !PutU32(*block, BASE_SECONDARY_SEQUENCE, sequence) ||
      !PutU32(*block, BASE_HIVE_BINS_SIZE, hive_bins_size) || !PutU32(*block, BASE_FLAGS, flags) ||
      !PutU32(*block, BASE_FILE_TYPE, FILE_TYPE_HIVE)) {
    return false;
  }
  const std::optional<uint32_t> checksum = ComputeBaseBlockChecksum(ByteReader(block->data(), block->size()));
  return checksum && PutU32(*block, BASE_CHECKSUM, *checksum);
}

// Fills the plan from the logs chosen, in order. False when there is nothing
// to apply.
bool FinishPlan(const ByteReader& hive, const HiveState& state, const std::vector<LogFile>& logs,
                const std::vector<LogReplay>& applied, LogFormat format, RecoveryPlan* plan) {
  if (applied.empty()) return false;
  const LogReplay& last = applied.back();
  const ByteReader& last_log = logs[last.header->log].bytes;
  uint32_t flags = 0;
  // Choice: an old-format log numbers no writes of its own, so the recovered
  // hive takes the log's sequence number (equal in both its fields) in both
  // of its own: the hive reads as clean, at the write the log recorded.
  uint32_t sequence = last.header->sequence;
  if (format == LogFormat::kOld) {
    if (!last_log.U32(BASE_FLAGS, &flags)) return false;
  } else {
    // Only bit 0 is carried from the entry; the rest stay as in the base block.
    const ByteReader& source = state.valid ? hive : last_log;
    if (!source.U32(BASE_FLAGS, &flags)) return false;
    flags = (flags & ~BASE_FLAGS_LOGGED_BIT) | (last.last_flags & BASE_FLAGS_LOGGED_BIT);
    sequence = last.last_sequence;
  }
  if (!BuildBaseBlock(hive, state, last_log, sequence, last.hive_bins_size, flags, &plan->base_block)) {
    return false;
  }

  RecoverySummary& summary = plan->summary;
  summary.state = RecoveryState::kApplied;
  summary.format = format;
  if (format == LogFormat::kNew) {
    summary.first_sequence = applied.front().first_sequence;
    summary.last_sequence = sequence;
    // Choice: with the hive's base block invalid its sequence numbers mean
    // nothing, so no gap can be told from them.
    if (state.valid && summary.first_sequence != state.secondary) summary.gap_from = state.secondary;
  }
  plan->hive_bins_size = last.hive_bins_size;
  plan->image_size = HIVE_BASE + uint64_t{last.hive_bins_size};
  for (const LogReplay& replay : applied) {
    summary.applied.push_back(AppliedLog{replay.header->log, logs[replay.header->log].name, replay.entries});
    summary.pages += replay.pages;
    for (const PageWrite& write : replay.writes) {
      plan->image_size = std::max(plan->image_size, HIVE_BASE + write.hive_offset + write.bytes.size());
      plan->bytes_written += write.bytes.size();
    }
    plan->writes.insert(plan->writes.end(), replay.writes.begin(), replay.writes.end());
  }
  return true;
}

// New format: logs in sequence order, each after the first applied only when
// it starts right after the last entry applied. Sets the outcome of each.
bool PlanNewFormat(const ByteReader& hive, const HiveState& state, const std::vector<LogFile>& logs,
                   std::vector<LogHeader> headers, RecoveryPlan* plan) {
  std::vector<LogOutcome>& outcomes = plan->summary.logs;
  if (headers.empty()) return false;
  // Sorting by the signed distance from one origin keeps the order a strict
  // one however many logs there are and however their numbers wrap; for two
  // logs it is the serial comparison itself.
  const uint32_t origin = state.valid ? state.secondary : headers.front().sequence;
  std::stable_sort(headers.begin(), headers.end(), [origin](const LogHeader& a, const LogHeader& b) {
    return SerialDifference(a.sequence, origin) < SerialDifference(b.sequence, origin);
  });
  // With the hive's base block invalid its sequence numbers mean nothing:
  // the newest log is applied alone, as Windows does.
  if (!state.valid) {
    for (auto older = headers.begin(); older + 1 < headers.end(); ++older) {
      outcomes[older->log].verdict = LogVerdict::kNotNewest;
    }
    headers.erase(headers.begin(), headers.end() - 1);
  }

  std::vector<LogReplay> applied;
  std::optional<uint32_t> next;
  for (const LogHeader& header : headers) {
    LogOutcome& outcome = outcomes[header.log];
    // A log older than the hive holds nothing the hive lacks.
    if (state.valid && SerialDifference(header.sequence, state.secondary) < 0) {
      outcome.verdict = LogVerdict::kOlderThanHive;
      continue;
    }
    // Choice: a log whose first entry is already unsound applied nothing, and
    // the next log must then start where it would have started: exactly the
    // rule for one applied entry more, so logs with a gap between them are
    // never joined.
    if (next && SerialDifference(header.sequence, *next) > 0) {
      // This log and every later one: none follows on from what was applied.
      for (const LogHeader& later : std::span(&header, headers.data() + headers.size())) {
        outcomes[later.log] = LogOutcome{.verdict = LogVerdict::kSequenceGap, .expected = *next,
                                         .found = later.sequence};
      }
      break;
    }
    // Choice: a log that starts at or before an entry already applied (a
    // copy of a log saved under another of the names, or a stale one) gives
    // only its entries that continue the sequence, and none when it has
    // none: it can neither undo an entry applied nor hide a newer log.
    const uint32_t from = next.value_or(header.sequence);
    LogReplay replay = ReplayNewLog(logs[header.log].bytes, header, from, state.most_bins_size);
    next = static_cast<uint32_t>(from + replay.entries);
    outcome.end = replay.end;
    outcome.end_entry = replay.end_entry;
    if (replay.entries != 0) {
      outcome.verdict = LogVerdict::kApplied;
      applied.push_back(std::move(replay));
    } else {
      outcome.verdict = replay.read == 0 ? LogVerdict::kNoSoundEntry : LogVerdict::kNothingNew;
    }
  }
  return FinishPlan(hive, state, logs, applied, LogFormat::kNew, plan);
}

// Old format: the latest usable log, when it is not older than the hive.
// Sets the outcome of each.
bool PlanOldFormat(const ByteReader& hive, const HiveState& state, const std::vector<LogFile>& logs,
                   const std::vector<LogHeader>& headers, RecoveryPlan* plan) {
  std::vector<LogOutcome>& outcomes = plan->summary.logs;
  std::optional<LogReplay> latest;
  for (const LogHeader& header : headers) {
    std::optional<LogReplay> replay = ReplayOldLog(logs[header.log].bytes, header, state.most_bins_size);
    outcomes[header.log].verdict = replay ? LogVerdict::kNotNewest : LogVerdict::kDamagedDirtyVector;
    // Choice: on a tie of last written times the log given first is kept.
    if (replay && (!latest || header.last_written > latest->header->last_written)) latest = std::move(replay);
  }
  if (!latest) return false;
  LogOutcome& outcome = outcomes[latest->header->log];
  // Choice: when the hive states no time at all (base block invalid and no
  // first hbin to read it from) the log is applied: nothing says it is older.
  if (state.last_written && latest->header->last_written < *state.last_written) {
    outcome.verdict = LogVerdict::kOlderThanHive;
    return false;
  }
  outcome.verdict = LogVerdict::kApplied;
  std::vector<LogReplay> applied;
  applied.push_back(std::move(*latest));
  return FinishPlan(hive, state, logs, applied, LogFormat::kOld, plan);
}

}  // namespace

RecoveryPlan PlanLogRecovery(const ByteReader& hive, const std::vector<LogFile>& logs) {
  RecoveryPlan plan;
  if (!IsHiveDirty(hive)) return plan;
  plan.summary.state = RecoveryState::kNoUsableLog;

  HiveState state;
  state.valid = BaseBlockChecksumValid(hive);
  uint64_t last_written = 0;
  if (state.valid) {
    if (!hive.U32(BASE_SECONDARY_SEQUENCE, &state.secondary)) return plan;
    if (hive.U64(BASE_LAST_WRITTEN, &last_written)) state.last_written = last_written;
  } else {
    // The first hbin keeps a copy of the last written time for this case;
    // it is taken only from a page that is an hbin at all.
    if (HasFirstHbin(hive) && hive.U64(HIVE_BASE + HBIN_TIMESTAMP, &last_written)) {
      state.last_written = last_written;
    }
  }

  // Choice: a log may leave the hive no larger than the bytes that exist:
  // the stored hive bins data and every byte of the logs. A hive grows by
  // new hbins, which Windows writes to the log before the hive, so a larger
  // size (an entry, or an old-format log, declaring a hive of gigabytes) is
  // damage, refused as any other. Every real log entry measured declares a
  // size within the stored hive alone. It keeps the view, and the memory a
  // run takes, within the hive and its logs whatever they declare.
  state.most_bins_size = hive.size() > HIVE_BASE ? hive.size() - HIVE_BASE : 0;
  for (const LogFile& log : logs) state.most_bins_size += log.bytes.size();

  std::vector<LogHeader> new_logs;
  std::vector<LogHeader> old_logs;
  std::vector<LogOutcome>& outcomes = plan.summary.logs;
  outcomes.resize(logs.size());
  for (size_t i = 0; i < logs.size(); ++i) {
    LogHeaderDamage damage = LogHeaderDamage::kNone;
    const std::optional<LogHeader> header = ReadLogHeader(logs[i].bytes, i, &damage);
    if (!header) {
      outcomes[i] = LogOutcome{.verdict = LogVerdict::kDamagedBaseBlock, .damage = damage};
      continue;
    }
    (header->type == FILE_TYPE_NEW_LOG ? new_logs : old_logs).push_back(*header);
  }
  // Choice: the new format is preferred by being tried first; when none of
  // its logs applies, a usable old-format log may still be. A format that
  // fails leaves the rest of the summary and the writes untouched.
  if (PlanNewFormat(hive, state, logs, new_logs, &plan)) {
    for (const LogHeader& header : old_logs) outcomes[header.log].verdict = LogVerdict::kOtherFormatApplied;
    return plan;
  }
  if (PlanOldFormat(hive, state, logs, old_logs, &plan)) return plan;
  RecoveryPlan none;
  none.summary.state = RecoveryState::kNoUsableLog;
  none.summary.logs = std::move(outcomes);
  return none;
}

bool ApplyRecoveryPlan(const RecoveryPlan& plan, std::span<uint8_t> image) {
  if (plan.summary.state != RecoveryState::kApplied) return true;
  // The plan's own size, and every write measured against the buffer before
  // the first is made, so a failure leaves the buffer as it was.
  if (image.size() < plan.image_size) return false;
  const ByteReader bounds(image.data(), image.size());
  for (const PageWrite& write : plan.writes) {
    if (!bounds.Contains(HIVE_BASE + write.hive_offset, write.bytes.size())) return false;
  }
  const ByteReader base_block(plan.base_block.data(), plan.base_block.size());
  if (!base_block.Copy(0, base_block.size(), image)) return false;
  for (const PageWrite& write : plan.writes) {
    if (!write.bytes.Copy(0, write.bytes.size(), image, HIVE_BASE + write.hive_offset)) return false;
  }
  return true;
}

}  // namespace keyscout
