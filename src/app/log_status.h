// The status line that -t prints: what the transaction logs did.
#pragma once

#include <string>

#include "hive/log_recovery.h"

namespace keyscout {

// The status line for `summary`, from the templates in messages.h, without
// its line end, e.g. "Transaction logs : applied SYSTEM.LOG1 (2 entries),
// sequence 7 to 8", with ", after a gap from 6" when the entries do not
// follow the hive's sequence number 6; each log is named as it was given.
// Prints nothing.
std::u16string RenderLogStatus(const RecoverySummary& summary);

}  // namespace keyscout
