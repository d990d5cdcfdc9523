#include "platform/keys.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>

#include "support/pty.h"

namespace lowmode {
namespace {

using namespace std::chrono_literals;

std::span<const unsigned char> as_bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

struct DecodeCase {
  std::string_view bytes;
  bool all_arrived;
  int code;
  std::size_t used;  // not checked for KEY_INCOMPLETE
};

constexpr DecodeCase DECODE_CASES[] = {
    // Plain keys; only the first key of several counts.
    {"qz", false, 'q', 1},
    {"\r", false, 13, 1},
    {"\x7f", false, 8, 1},
    {"\x1b", false, KEY_INCOMPLETE, 0},
    {"\x1b", true, 27, 1},
    // Cursor block, with and without modifiers, in both cursor-key modes.
    {"\x1b[A", false, 224, 3},
    {"\x1b[Dq", false, 224, 3},
    {"\x1b[1;5A", false, 224, 6},
    {"\x1bOB", false, 224, 3},
    {"\x1b[H", false, 224, 3},
    {"\x1bOF", false, 224, 3},
    {"\x1b[1~", false, 224, 4},
    {"\x1b[2~", false, 224, 4},
    {"\x1b[3;5~", false, 224, 6},
    {"\x1b[4~", false, 224, 4},
    {"\x1b[5~", false, 224, 4},
    {"\x1b[6~", false, 224, 4},
    {"\x1b[7~", false, 224, 4},
    {"\x1b[8~", false, 224, 4},
    {"\x1b[23~", false, 224, 5},
    {"\x1b[24;2~", false, 224, 7},
    // Function keys F1..F10 and the numeric pad.
    {"\x1bOP", false, 0, 3},
    {"\x1bOS", false, 0, 3},
    {"\x1b[1;2P", false, 0, 6},
    {"\x1b[11~", false, 0, 5},
    {"\x1b[15~", false, 0, 5},
    {"\x1b[21~", false, 0, 5},
    {"\x1b[[A", false, 0, 4},
    {"\x1b[[E", false, 0, 4},
    {"\x1bOp", false, 0, 3},
    {"\x1bOy", false, 0, 3},
    {"\x1bOM", false, 0, 3},
    {"\x1b[E", false, 0, 3},
    {"\x1b[G", false, 0, 3},
    // Unknown sequences give 0 and are consumed whole.
    {"\x1b[Z", false, 0, 3},
    {"\x1b[200~x", false, 0, 6},
    {"\x1b[25~", false, 0, 5},
    // Sequences cut short by silence or by a byte that cannot continue them.
    {"\x1b[", false, KEY_INCOMPLETE, 0},
    {"\x1b[1;5", false, KEY_INCOMPLETE, 0},
    {"\x1b[[", false, KEY_INCOMPLETE, 0},
    {"\x1bO", false, KEY_INCOMPLETE, 0},
    {"\x1b[", true, '[', 2},
    {"\x1bO", true, 'O', 2},
    {"\x1b[1;", true, 0, 4},
    {"\x1b[[", true, 0, 3},
    {"\x1b[1\r", false, 0, 3},
    // Alt+key gives the key.
    {"\x1bx", false, 'x', 2},
    {"\x1b\x7f", false, 8, 2},
    {"\x1b\x1b", false, KEY_INCOMPLETE, 0},
    {"\x1b\x1b", true, 27, 2},
    {"\x1b\x1b[A", false, 224, 4},
    {"\x1b\xc3\xa9", false, 0xe9, 3},
    // UTF-8: the code point up to 255, '?' above; invalid bytes stand alone.
    {"\xc3\xa9", false, 0xe9, 2},
    {"\xc2\x80", false, 0x80, 2},
    {"\xc4\x80", false, '?', 2},
    {"\xe2\x82\xac", false, '?', 3},
    {"\xf0\x9f\x98\x80", false, '?', 4},
    {"\xe2\x82", false, KEY_INCOMPLETE, 0},
    {"\xe2\x82", true, 0xe2, 1},
    {"\xc3" "A", false, 0xc3, 1},
    {"\x80", false, 0x80, 1},
    {"\xc0\x80", false, 0xc0, 1},
    {"\xe0\x80\x80", false, 0xe0, 1},
    {"\xed\xa0\x80", false, 0xed, 1},
    {"\xf4\x90\x80\x80", false, 0xf4, 1},
    {"\xff", false, 0xff, 1},
};

TEST(DecodeKey, TableOfSequences) {
  for (const DecodeCase& c : DECODE_CASES) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)) + (c.all_arrived ? " (all arrived)" : ""));
    std::size_t used = 99;
    EXPECT_EQ(decode_key(as_bytes(c.bytes), c.all_arrived, used), c.code);
    if (c.code != KEY_INCOMPLETE) {
      EXPECT_EQ(used, c.used);
    }
  }
}

// The wait reads byte by byte and stops at the first complete decode: no
// proper prefix of a multi-byte key may pass for a key of its own.
TEST(DecodeKey, PrefixesOfLongerKeysAreIncomplete) {
  for (const DecodeCase& c : DECODE_CASES) {
    if (c.code == KEY_INCOMPLETE || c.all_arrived) continue;
    for (std::size_t length = 1; length < c.used; ++length) {
      SCOPED_TRACE(testing::PrintToString(std::string(c.bytes.substr(0, length))));
      std::size_t used = 0;
      EXPECT_EQ(decode_key(as_bytes(c.bytes.substr(0, length)), false, used), KEY_INCOMPLETE);
    }
  }
}

TEST(DecodeKey, EveryLoneByteGivesItsOwnValueExceptDel) {
  for (int byte = 0; byte < 256; ++byte) {
    const unsigned char one = static_cast<unsigned char>(byte);
    std::size_t used = 0;
    EXPECT_EQ(decode_key({&one, 1}, true, used), byte == 127 ? 8 : byte) << byte;
    EXPECT_EQ(used, 1u) << byte;
  }
}

// A pseudo-terminal plus the test's own handle on its slave side, to watch
// the terminal mode from outside the child that waits on it.
class Terminal {
 public:
  Terminal() : slave_(open(pty_.slave_path().c_str(), O_RDWR | O_NOCTTY)) {
    EXPECT_GE(slave_, 0);
    before_ = mode();
  }
  ~Terminal() {
    if (slave_ >= 0) close(slave_);
  }

  test::Pty& pty() { return pty_; }

  termios mode() const {
    termios now{};
    EXPECT_EQ(tcgetattr(slave_, &now), 0);
    return now;
  }

  // Runs `body` in a child whose controlling terminal is this one.
  pid_t spawn(const std::function<int()>& body = [] { return wait_for_key() & 0xff; }) {
    return pty_.spawn(body);
  }

  // Waits until the child has put the terminal into raw mode.
  bool await_raw() const {
    for (auto deadline = std::chrono::steady_clock::now() + 3s; std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(2ms)) {
      if ((mode().c_lflag & ICANON) == 0) return true;
    }
    return false;
  }

  void expect_mode_restored() const {
    const termios after = mode();
    EXPECT_EQ(after.c_iflag, before_.c_iflag);
    EXPECT_EQ(after.c_oflag, before_.c_oflag);
    EXPECT_EQ(after.c_cflag, before_.c_cflag);
    EXPECT_EQ(after.c_lflag, before_.c_lflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before_.c_cc, sizeof after.c_cc), 0);
  }

 private:
  test::Pty pty_;
  int slave_;
  termios before_{};
};

int exit_code(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

TEST(WaitForKey, ReturnsTheKeyTypedInRawModeAndRestoresTheTerminal) {
  struct Typed {
    std::string_view bytes;
    int code;
  };
  // Control keys the terminal would otherwise act on (signals, flow control,
  // literal next, CR-to-NL) must arrive as plain codes.
  constexpr Typed cases[] = {
      {"q", 'q'},      {"\r", 13},         {"\x03", 3},       {"\x1c", 28},    {"\x1a", 26},
      {"\x13", 19},    {"\x16", 22},       {"\x7f", 8},       {"\x1b", 27},    {"\x1b[A", 224},
      {"\x1b[1;5A", 224}, {"\x1b[3~", 224}, {"\x1bOP", 0},    {"\x1b[[A", 0},  {"\xc3\xa9", 0xe9},
  };
  for (const Typed& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
    Terminal terminal;
    pid_t child = terminal.spawn();
    ASSERT_TRUE(terminal.await_raw());
    terminal.pty().type(c.bytes);
    EXPECT_EQ(exit_code(test::wait_child(child)), c.code);
    terminal.expect_mode_restored();
  }
}

TEST(WaitForKey, DoesNotEchoTheKey) {
  Terminal terminal;
  pid_t child = terminal.spawn();
  ASSERT_TRUE(terminal.await_raw());
  terminal.pty().type("q");
  EXPECT_EQ(exit_code(test::wait_child(child)), 'q');
  EXPECT_EQ(terminal.pty().read_until("q", 200), "");
}

// Standard input takes in a whole line; the key typed after it, before the
// wait began, is still waiting in the terminal and must count.
TEST(WaitForKey, HonoursKeysTypedAheadButNotTextStandardInputTook) {
  Terminal terminal;
  terminal.pty().type("abc\nq");
  pid_t child = terminal.spawn([] {
    char line[16];
    if (read(0, line, sizeof line) != 4) return 1;
    return wait_for_key() & 0xff;
  });
  EXPECT_EQ(exit_code(test::wait_child(child)), 'q');
  terminal.expect_mode_restored();
}

TEST(WaitForKey, ReadsTheTerminalWhenStandardInputIsElsewhere) {
  Terminal terminal;
  pid_t child = terminal.spawn([] {
    dup2(open("/dev/null", O_RDONLY), 0);
    return wait_for_key() & 0xff;
  });
  ASSERT_TRUE(terminal.await_raw());
  terminal.pty().type("z");
  EXPECT_EQ(exit_code(test::wait_child(child)), 'z');
}

TEST(WaitForKey, RestoresTheTerminalWhenASignalEndsTheWait) {
  for (int signal_number : {SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(strsignal(signal_number));
    Terminal terminal;
    pid_t child = terminal.spawn([signal_number] {
      const rlimit no_core{0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      signal(signal_number, SIG_DFL);  // a shell may start tests with SIGQUIT ignored
      return wait_for_key() & 0xff;
    });
    ASSERT_TRUE(terminal.await_raw());
    kill(child, signal_number);
    const int status = test::wait_child(child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    terminal.expect_mode_restored();
  }
}

void note_signal(int) {}

// A signal the process ignores stays ignored during the wait, and the
// handlers in place before the wait are back after it.
TEST(WaitForKey, LeavesTheProcessSignalHandlingAsItWas) {
  Terminal terminal;
  pid_t child = terminal.spawn([] {
    signal(SIGTERM, note_signal);
    signal(SIGHUP, SIG_IGN);
    const int key = wait_for_key();
    struct sigaction term {}, hup {};
    sigaction(SIGTERM, nullptr, &term);
    sigaction(SIGHUP, nullptr, &hup);
    return term.sa_handler == note_signal && hup.sa_handler == SIG_IGN ? key & 0xff : 1;
  });
  ASSERT_TRUE(terminal.await_raw());
  kill(child, SIGHUP);
  std::this_thread::sleep_for(50ms);
  terminal.pty().type("k");
  EXPECT_EQ(exit_code(test::wait_child(child)), 'k');
}

TEST(WaitForKey, KeepsWaitingWhenAnUnrelatedSignalInterruptsTheRead) {
  Terminal terminal;
  pid_t child = terminal.spawn([] {
    struct sigaction action {};
    action.sa_handler = note_signal;  // no SA_RESTART: the read fails with EINTR
    sigaction(SIGUSR1, &action, nullptr);
    return wait_for_key() & 0xff;
  });
  ASSERT_TRUE(terminal.await_raw());
  std::this_thread::sleep_for(50ms);
  kill(child, SIGUSR1);
  std::this_thread::sleep_for(50ms);
  terminal.pty().type("k");
  EXPECT_EQ(exit_code(test::wait_child(child)), 'k');
}

TEST(WaitForKey, ReturnsMinusOneAtOnceWithoutAControllingTerminal) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setsid();
    _exit(wait_for_key() & 0xff);
  }
  EXPECT_EQ(exit_code(test::wait_child(child, 2000)), 255);
}

}  // namespace
}  // namespace lowmode
