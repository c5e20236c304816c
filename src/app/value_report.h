// The -v and -u report (header, hex dump and, with -d, the decoded data of
// one value) and the -w dump file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hive/image.h"
#include "platform/evidence.h"
#include "text/console.h"

namespace keyscout {

// How the value report gets and returns its data buffer. `allocate` returns a
// zero-filled block of `size` bytes, or null when it cannot; `release` frees
// such a block. The product uses calloc and free; tests put in an allocator
// that fails.
struct ValueBufferAllocator {
  void* (*allocate)(size_t size);
  void (*release)(void* block);
};

// calloc and free.
const ValueBufferAllocator& DefaultValueBufferAllocator();

// Which value the value report shows, and what it does with the data.
struct ValueRequest {
  // The name as typed (-v); not used when `unnamed` is set.
  std::u16string name;
  // The key's unnamed value instead (-u).
  bool unnamed = false;
  // The data decoded by its type after the hex dump (-d).
  bool decode = false;
  // The whole data written to `output_file` (-w).
  bool dump = false;
  std::u16string output_file;
};

// Finds the value `request` names under `key`, reads its whole data once,
// prints its header and the hex dump of its first 64 bytes, then with
// `decode` the data decoded by its type, and with `dump` writes the whole
// data to the output file. The unnamed value is shown, and named in every
// message, as "(unnamed)". Prints its own messages (none when the buffer
// cannot be allocated; a stored length beyond the file's size is reported as
// unreadable before any allocation), with their causes on `err`, and returns
// false on any failure; the buffer is freed on every path.
bool ShowValue(const HiveImage& image, Cell key, const ValueRequest& request, const Evidence& evidence,
               Console& out, Console& err, const ValueBufferAllocator& allocator = DefaultValueBufferAllocator());

// Writes `length` bytes of `data` to `output_file`, created or truncated,
// between the line that announces the dump and the line that reports it.
// Prints "Cannot create dump file." or "Cannot write dump file.", and its
// cause on `err`, and returns false on failure; a file already created is
// left as it is. A file that is one of `evidence`, by whatever path, cannot
// be created and is not touched.
bool WriteDumpFile(std::u16string_view value_name, const std::u16string& output_file, const uint8_t* data,
                   uint64_t length, const Evidence& evidence, Console& out, Console& err);

}  // namespace keyscout
