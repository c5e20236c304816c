#include "app/log_status.h"

#include <string_view>

#include "app/messages.h"

namespace keyscout {

void PrintLogStatus(const RecoverySummary& summary, Console& out) {
  switch (summary.state) {
    case RecoveryState::kClean:
      out.Wide(MSG_LOGS_CLEAN);
      break;
    case RecoveryState::kNoUsableLog:
      out.Wide(MSG_LOGS_NO_USABLE_LOG);
      break;
    case RecoveryState::kApplied:
      out.Wide(MSG_LOGS_APPLIED);
      if (summary.format == LogFormat::kOld) {
        const std::u16string_view name = summary.applied.empty() ? u"" : std::u16string_view(summary.applied.front().name);
        out.Format(summary.pages == 1 ? MSG_LOGS_OLD_ONE_PAGE : MSG_LOGS_OLD_PAGES, {name, summary.pages});
        break;
      }
      for (const AppliedLog& log : summary.applied) {
        if (&log != &summary.applied.front()) out.Wide(MSG_LOGS_AND);
        out.Format(log.entries == 1 ? MSG_LOGS_ONE_ENTRY : MSG_LOGS_ENTRIES, {log.name, log.entries});
      }
      out.Format(MSG_LOGS_SEQUENCES, {summary.first_sequence, summary.last_sequence});
      break;
  }
  if (summary.gap_from) out.Format(MSG_LOGS_GAP, {*summary.gap_from});
  out.Ascii("\n");
}

}  // namespace keyscout
