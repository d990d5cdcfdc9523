#include "support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

namespace lowmode::test {

Pty::Pty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    ADD_FAILURE() << "cannot open a pseudo-terminal";
    return;
  }
  slave_path_ = ptsname(master_);
}

Pty::~Pty() {
  if (master_ >= 0) close(master_);
}

pid_t Pty::spawn(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  // Child: new session, then the first terminal opened becomes controlling.
  setsid();
  int slave = open(slave_path_.c_str(), O_RDWR);
  if (slave < 0) _exit(120);
  ioctl(slave, TIOCSCTTY, 0);
  dup2(slave, 0);
  dup2(slave, 1);
  dup2(slave, 2);
  if (slave > 2) close(slave);
  close(master_);
  _exit(body());
}

void Pty::type(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = write(master_, bytes.data(), bytes.size());
    if (put <= 0) {
      ADD_FAILURE() << "cannot write to the pseudo-terminal";
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
}

std::string Pty::read_until(std::string_view needle, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (seen_.find(needle) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char chunk[512];
    ssize_t got = read(master_, chunk, sizeof chunk);
    if (got <= 0) break;
    seen_.append(chunk, static_cast<std::size_t>(got));
  }
  return seen_;
}

int wait_child(pid_t pid, int timeout_ms) {
  int status = 0;
  for (int waited = 0; waited < timeout_ms; waited += 10) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  ADD_FAILURE() << "child " << pid << " did not end in time";
  return status;
}

}  // namespace lowmode::test
