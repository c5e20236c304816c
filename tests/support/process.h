// Runs the real keyscout binary as a child process, for what only a process
// shows: the command line as the system hands it over, the exit status, and
// standard output as the platform writes it.
#pragma once

#include <string>
#include <vector>

namespace keyscout::test {

// `args` are the words after the program's name, as UTF-8 (on POSIX any
// bytes). Sets `*status` to the exit code, or -1 when the child did not end
// normally. Returns everything the child wrote to standard output, exactly.
std::string RunBinaryRaw(const std::vector<std::string>& args, int* status);

// The same, with Windows line ends (CR LF, which the C runtime's text mode
// writes for each LF) turned back into LF, so one expected text serves every
// platform. Elsewhere the output is returned as it is.
std::string RunBinary(const std::vector<std::string>& args, int* status);

}  // namespace keyscout::test
