#include "security/security_report.h"

namespace keyscout {

void ShowKeySecurity(const HiveImage&, Cell, Console&) {}

}  // namespace keyscout
