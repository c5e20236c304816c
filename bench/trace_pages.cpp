// Finds the pages of a hive that one request reads: runs keyscout's own driver
// over the file mapped without access, lets each first touch of a page fault,
// notes the page and opens it for reading. Writes the pages as
// "first_page page_count" runs to PAGES and prints the number of bytes the run
// printed, so that bench_floor_work can do the same least amount of work.
//
//   bench_trace_pages PAGES keyscout-arguments...
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/driver.h"
#include "text/utf8.h"

namespace {

constexpr uint64_t TRACE_PAGE = 4096;

// Set before the run; the fault handler reads them.
uint8_t* g_view = nullptr;
uint64_t g_size = 0;
uint8_t* g_touched = nullptr;

void OpenPageOnFault(int, siginfo_t* info, void*) {
  auto* at = static_cast<uint8_t*>(info->si_addr);
  if (g_view == nullptr || at < g_view || at >= g_view + g_size) {
    // Not ours: fault again, this time for real.
    ::signal(SIGSEGV, SIG_DFL);
    return;
  }
  const uint64_t page = static_cast<uint64_t>(at - g_view) / TRACE_PAGE;
  g_touched[page] = 1;
  ::mprotect(g_view + page * TRACE_PAGE, TRACE_PAGE, PROT_READ);
}

// The hive, mapped with no access until the run reaches each page.
class TracedHiveSource : public keyscout::HiveSource {
 public:
  keyscout::MapStatus Open(const std::u16string& path, keyscout::FileBytes* hive) override {
    const int fd = ::open(keyscout::EncodeFileName(path).c_str(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size <= 0) return keyscout::MapStatus::kCannotOpen;
    void* view = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_NONE, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (view == MAP_FAILED) return keyscout::MapStatus::kCannotMapMemory;
    g_size = static_cast<uint64_t>(st.st_size);
    touched_.assign((g_size + TRACE_PAGE - 1) / TRACE_PAGE, 0);
    g_touched = touched_.data();
    g_view = static_cast<uint8_t*>(view);
    *hive = keyscout::FileBytes{g_view, g_size};
    return keyscout::MapStatus::kOk;
  }
  keyscout::FileProblem OpenProblem() const override { return {}; }
  // The trace follows the hive alone: no logs, nothing a run could write
  // into, and no private view for -t to write.
  void UseLogs(std::vector<std::u16string>) override {}
  std::vector<keyscout::OpenedLog> OpenLogs() override { return {}; }
  keyscout::LogNames NameLogsBeside() override { return {}; }
  keyscout::Evidence GatherEvidence() override { return {}; }
  uint8_t* MakePrivateWritable(uint64_t, uint64_t*) override { return nullptr; }
  void Close() override {}
  const std::vector<uint8_t>& touched() const { return touched_; }

 private:
  std::vector<uint8_t> touched_;
};

// Counts what the run prints.
class CountingSink : public keyscout::OutputSink {
 public:
  bool Write(const char*, size_t length) override {
    bytes += length;
    return true;
  }
  bool IsFile() const override { return false; }
  bool Protect(const keyscout::Evidence&) override { return true; }
  const std::string& failure() const override { return no_failure_; }
  uint64_t bytes = 0;

 private:
  const std::string no_failure_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_trace_pages PAGES keyscout-arguments...\n");
    return 2;
  }
  struct sigaction action {};
  action.sa_sigaction = OpenPageOnFault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGSEGV, &action, nullptr);

  std::vector<std::u16string> words{u"keyscout"};
  for (int i = 2; i < argc; ++i) words.push_back(keyscout::DecodeCommandWord(argv[i]));
  TracedHiveSource source;
  CountingSink sink;
  CountingSink err_sink;
  const int code = keyscout::RunTool(words, sink, err_sink, source);

  std::FILE* pages = std::fopen(argv[1], "w");
  if (pages == nullptr) return 2;
  const std::vector<uint8_t>& touched = source.touched();
  uint64_t total = 0;
  for (uint64_t page = 0; page < touched.size();) {
    if (touched[page] == 0) {
      ++page;
      continue;
    }
    uint64_t end = page;
    while (end < touched.size() && touched[end] != 0) ++end;
    std::fprintf(pages, "%llu %llu\n", static_cast<unsigned long long>(page),
                 static_cast<unsigned long long>(end - page));
    total += end - page;
    page = end;
  }
  std::fclose(pages);
  std::printf("%llu %llu %d\n", static_cast<unsigned long long>(sink.bytes),
              static_cast<unsigned long long>(total), code);
  return 0;
}
