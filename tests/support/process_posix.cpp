#include <sys/wait.h>
#include <unistd.h>

#include "support/process.h"

namespace keyscout::test {

std::string RunBinaryRaw(const std::vector<std::string>& args, int* status) {
  *status = -1;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], 1);
    close(pipe_fds[0]);
    std::vector<char*> argv{const_cast<char*>(KEYSCOUT_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(KEYSCOUT_BINARY, argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(pipe_fds[0]);
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) *status = WEXITSTATUS(wstatus);
  return out;
}

std::string RunBinary(const std::vector<std::string>& args, int* status) { return RunBinaryRaw(args, status); }

}  // namespace keyscout::test
