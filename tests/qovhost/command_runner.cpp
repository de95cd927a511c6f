// fork/exec with three pipes, drained together with poll() so that neither side blocks.
#include "tests/qovhost/command_runner.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace qov::test {
namespace {

constexpr std::size_t kChunk = 1 << 16;

void closeQuietly(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

CommandResult runCommand(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input) {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) throw std::runtime_error("pipe failed");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  // The child may stop reading early; its refusal must not kill the test.
  std::signal(SIGPIPE, SIG_IGN);

  CommandResult result;
  int writeFd = in[1];
  int readFds[2] = {out[0], err[0]};
  std::string* sinks[2] = {&result.out, &result.err};
  std::size_t written = 0;
  if (input.empty()) closeQuietly(writeFd);
  char buffer[kChunk];
  while (writeFd >= 0 || readFds[0] >= 0 || readFds[1] >= 0) {
    pollfd fds[3] = {{writeFd, POLLOUT, 0}, {readFds[0], POLLIN, 0}, {readFds[1], POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    if (writeFd >= 0 && fds[0].revents != 0) {
      const ssize_t n = ::write(writeFd, input.data() + written, std::min(kChunk, input.size() - written));
      if (n < 0 && errno != EINTR && errno != EAGAIN) closeQuietly(writeFd);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (written == input.size()) closeQuietly(writeFd);
    }
    for (int i = 0; i < 2; ++i) {
      if (readFds[i] < 0 || fds[i + 1].revents == 0) continue;
      const ssize_t n = ::read(readFds[i], buffer, sizeof buffer);
      if (n > 0)
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EINTR)
        closeQuietly(readFds[i]);
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace qov::test
