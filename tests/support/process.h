// Runs the real keyscout binary as a child process, for what only a process
// shows: the command line as the system hands it over, the exit status, and
// standard output as the platform writes it. Every run is followed by the
// check that the hive it read (and the logs beside it) did not change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace keyscout::test {

// Where the child's standard output goes.
enum class StdoutTarget {
  kPipe,        // read back by the test
  kClosedPipe,  // a pipe whose reading end is already closed, SIGPIPE ignored
  kAppend,      // a file opened for appending, as a shell's ">>" opens it
};

struct ProcessResult {
  int status = -1;  // the exit code, or -1 when the child did not end normally
  std::string out;  // standard output, exactly (kPipe only)
  std::string err;  // the error stream, exactly
};

// `args` are the words after the program's name, as UTF-8 (on POSIX any
// bytes).
// `stdout_file` is the file for kAppend (such as /dev/full).
ProcessResult RunBinaryProcess(const std::vector<std::string>& args, StdoutTarget target = StdoutTarget::kPipe,
                               const std::string& stdout_file = "");

// On Windows `text` with the CR of every CR LF taken out: the line ends the C
// runtime's text mode writes for each LF, as every other platform writes
// them. Elsewhere `text` as it is.
std::string WithoutCarriageReturns(std::string text);

// Standard output of a run, as written. Sets `*status` to the exit code.
std::string RunBinaryRaw(const std::vector<std::string>& args, int* status);

// The same, with Windows line ends (CR LF, which the C runtime's text mode
// writes for each LF) turned back into LF, so one expected text serves every
// platform. Elsewhere the output is returned as it is.
std::string RunBinary(const std::vector<std::string>& args, int* status);

// Runs the binary with `args`, which ask to dump value `value` into `file`
// (-w), and checks that the dump file was refused: exit code 1, the output
// ends with the line announcing the dump and "Cannot create dump file.", and
// standard error ends with the line that gives `cause`.
void ExpectDumpRefused(const std::vector<std::string>& args, const std::string& value, const std::string& file,
                       const std::string& cause);

// A file's bytes, read without updating its access time where the system
// allows it, so that checking a hive leaves no more trace than reading it.
std::vector<uint8_t> ReadFileQuietly(const std::string& path, bool* present);

// The platform's own start of the child; RunBinaryProcess wraps it.
ProcessResult SpawnBinary(const std::vector<std::string>& args, StdoutTarget target, const std::string& stdout_file);

}  // namespace keyscout::test
