#include "app/log_status.h"

#include <initializer_list>
#include <string_view>

#include "app/messages.h"
#include "text/numbers.h"

namespace keyscout {

namespace {

// `format` with each "%s" replaced by the next of `args`, in order.
std::u16string Fill(std::u16string_view format, std::initializer_list<std::u16string_view> args) {
  std::u16string out;
  const std::u16string_view* arg = args.begin();
  for (size_t at = 0; at < format.size();) {
    const size_t mark = format.find(u"%s", at);
    out += format.substr(at, mark - at);
    if (mark == std::u16string_view::npos) break;
    if (arg != args.end()) out += *arg++;
    at = mark + 2;
  }
  return out;
}

std::u16string Counted(uint64_t n, std::u16string_view one, std::u16string_view many) {
  return n == 1 ? std::u16string(one) : Fill(many, {DecimalText(n)});
}

}  // namespace

std::u16string RenderLogStatus(const RecoverySummary& summary) {
  std::u16string line;
  switch (summary.state) {
    case RecoveryState::kClean:
      line = MSG_LOGS_CLEAN;
      break;
    case RecoveryState::kNoUsableLog:
      line = MSG_LOGS_NO_USABLE_LOG;
      break;
    case RecoveryState::kApplied:
      if (summary.format == LogFormat::kOld) {
        const std::u16string name = summary.applied.empty() ? u"" : summary.applied.front().name;
        line = Fill(MSG_LOGS_OLD_FORMAT, {name, Counted(summary.pages, MSG_LOGS_ONE_PAGE, MSG_LOGS_PAGES)});
        break;
      }
      std::u16string logs;
      for (const AppliedLog& log : summary.applied) {
        if (!logs.empty()) logs += MSG_LOGS_AND;
        logs += Fill(MSG_LOGS_NEW_LOG, {log.name, Counted(log.entries, MSG_LOGS_ONE_ENTRY, MSG_LOGS_ENTRIES)});
      }
      line = Fill(MSG_LOGS_NEW_FORMAT,
                  {logs, DecimalText(summary.first_sequence), DecimalText(summary.last_sequence)});
      break;
  }
  line.pop_back();  // the templates end in a line end; the line is handed over without it
  if (summary.gap_from) line += Fill(MSG_LOGS_GAP, {DecimalText(*summary.gap_from)});
  return line;
}

}  // namespace keyscout
