// The status line that -t prints: what the transaction logs did.
#pragma once

#include "hive/log_recovery.h"
#include "text/console.h"

namespace keyscout {

// Prints the status line for `summary`, from the templates in messages.h,
// e.g. "Transaction logs : applied SYSTEM.LOG1 (2 entries), sequence 7 to
// 8\n", with ", after a gap from 6" before the line end when the entries do
// not follow the hive's sequence number 6; each log is named as it was given.
void PrintLogStatus(const RecoverySummary& summary, Console& out);

}  // namespace keyscout
