// The least any tool can do for one request: start (statically linked), map
// the hive, read one byte of every page that the request must reach, and write
// as many output bytes as the tool prints, through one buffer. With a dump file it
// also copies that many bytes out of the mapping into one buffer and writes
// them to the file, as an export must.
//
//   bench_floor_work HIVE PAGES OUTPUT_BYTES [DUMP_FILE DUMP_BYTES]
//
// PAGES is a file of "first_page page_count" lines (4 KiB pages counted from
// the start of the file), as bench_trace_pages writes it.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint64_t FLOOR_PAGE = 4096;
constexpr size_t FLOOR_OUTPUT_BUFFER = 1 << 18;

bool WriteAll(int fd, const char* data, uint64_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, data, length);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<uint64_t>(n);
  }
  return true;
}

// The whole (small) file, zero-terminated, or null.
char* ReadSmallFile(const char* path) {
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return nullptr;
  char* text = static_cast<char*>(std::malloc(static_cast<size_t>(st.st_size) + 1));
  ssize_t got = 0;
  while (text != nullptr && got < st.st_size) {
    const ssize_t n = ::read(fd, text + got, static_cast<size_t>(st.st_size - got));
    if (n <= 0) break;
    got += n;
  }
  ::close(fd);
  if (text != nullptr) text[got] = 0;
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) return 2;
  const int fd = ::open(argv[1], O_RDONLY);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size <= 0) return 1;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const auto* hive = static_cast<const uint8_t*>(::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
  if (hive == MAP_FAILED) return 1;
  char* pages = ReadSmallFile(argv[2]);
  if (pages == nullptr) return 1;
  const uint64_t output_bytes = std::strtoull(argv[3], nullptr, 10);
  const uint64_t dump_bytes = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 0;
  uint8_t* dump = dump_bytes > 0 ? static_cast<uint8_t*>(std::malloc(dump_bytes)) : nullptr;
  if (dump_bytes > 0 && dump == nullptr) return 1;

  volatile uint8_t sink = 0;
  uint64_t copied = 0;
  char* at = pages;
  while (*at != 0) {
    char* end = nullptr;
    const uint64_t first = std::strtoull(at, &end, 10);
    const uint64_t count = std::strtoull(end, &at, 10);
    if (end == at) break;
    for (uint64_t page = first; page < first + count && page * FLOOR_PAGE < size; ++page) {
      const uint64_t offset = page * FLOOR_PAGE;
      if (copied < dump_bytes) {
        uint64_t n = size - offset < FLOOR_PAGE ? size - offset : FLOOR_PAGE;
        if (n > dump_bytes - copied) n = dump_bytes - copied;
        std::memcpy(dump + copied, hive + offset, n);
        copied += n;
      } else {
        sink = sink + hive[offset];
      }
    }
  }

  if (argc == 6) {
    const int out = ::open(argv[4], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || !WriteAll(out, reinterpret_cast<const char*>(dump), dump_bytes)) return 1;
    ::close(out);
  }
  // Output leaves through one buffer, written whole each time it is full.
  static char text[FLOOR_OUTPUT_BUFFER];
  std::memset(text, 'x', output_bytes < sizeof text ? output_bytes : sizeof text);
  for (uint64_t left = output_bytes; left > 0;) {
    const uint64_t n = left < sizeof text ? left : sizeof text;
    if (!WriteAll(STDOUT_FILENO, text, n)) return 1;
    left -= n;
  }
  return 0;
}
