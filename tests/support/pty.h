// A pseudo-terminal for tests that need a real terminal: the test holds the
// master side and runs code in a child process whose controlling terminal is
// the slave side.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace lowmode::test {

class Pty {
 public:
  Pty();   // opens a new master/slave pair; the test fails if it cannot
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  int master() const { return master_; }
  const std::string& slave_path() const { return slave_path_; }

  // Forks a child in a new session whose controlling terminal and standard
  // streams are the slave side, runs `body` there and exits with its result.
  pid_t spawn(const std::function<int()>& body);

  // Writes `bytes` to the master side (what a user types).
  void type(std::string_view bytes);

  // Reads what the child wrote to the terminal until `needle` appears or
  // `timeout_ms` passes; returns everything read so far.
  std::string read_until(std::string_view needle, int timeout_ms = 5000);

 private:
  int master_ = -1;
  std::string slave_path_;
  std::string seen_;
};

// Waits for `pid` at most `timeout_ms` (killing it after that) and returns
// its wait status.
int wait_child(pid_t pid, int timeout_ms = 5000);

}  // namespace lowmode::test
