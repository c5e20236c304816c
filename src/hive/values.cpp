#include "hive/values.h"

namespace keyscout {

void ListValues(const HiveImage&, Cell, Console&) {}

}  // namespace keyscout
