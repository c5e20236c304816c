// The fuzz entry point: arbitrary bytes as a hive file, alone and with
// transaction logs beside it, driven through every report of the real entry
// point.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
