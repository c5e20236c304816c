#include <fcntl.h>
#include <sys/stat.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "support/process.h"

namespace keyscout::test {

namespace {

// Reads both pipes until each is closed, without letting either fill up.
void Drain(int out_fd, int err_fd, std::string* out, std::string* err) {
  struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open_count = (out_fd >= 0) + (err_fd >= 0);
  char buf[4096];
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

ProcessResult SpawnBinary(const std::vector<std::string>& args, StdoutTarget target, const std::string& stdout_file) {
  ProcessResult result;
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return result;
  if (target == StdoutTarget::kClosedPipe) {
    // Closed before the child exists, so nobody can ever read it.
    close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    if (target == StdoutTarget::kAppend) {
      const int file = open(stdout_file.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0666);
      dup2(file, 1);
    } else {
      // An ignored SIGPIPE stays ignored across exec: a write to the closed
      // pipe fails with EPIPE instead of ending the child.
      if (target == StdoutTarget::kClosedPipe) signal(SIGPIPE, SIG_IGN);
      dup2(out_pipe[1], 1);
    }
    dup2(err_pipe[1], 2);
    std::vector<char*> argv{const_cast<char*>(KEYSCOUT_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(KEYSCOUT_BINARY, argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  Drain(out_pipe[0], err_pipe[0], &result.out, &result.err);
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  return result;
}

std::vector<uint8_t> ReadFileQuietly(const std::string& path, bool* present) {
  std::vector<uint8_t> bytes;
  *present = false;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    *present = true;
    char buf[1 << 16];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  }
  close(fd);
  return bytes;
}

std::string WithoutCarriageReturns(std::string text) { return text; }

std::string RunBinary(const std::vector<std::string>& args, int* status) { return RunBinaryRaw(args, status); }

}  // namespace keyscout::test
