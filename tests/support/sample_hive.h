// The demo hive: a small SYSTEM-like tree that shows every report.
#pragma once

#include "support/hive_builder.h"

namespace keyscout::test {

Bytes BuildSampleHive();

}  // namespace keyscout::test
