#include "platform/keys.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace lowmode {

namespace {

constexpr unsigned char ESC = 27;
constexpr int CURSOR_BLOCK = 224;

// How long the rest of an escape sequence or UTF-8 character may take to
// arrive after its first byte; a key sends all of its bytes at once.
constexpr int SEQUENCE_GAP_MS = 50;

// Decodes ESC and what follows it (`bytes[0]` is ESC).
int decode_escape(std::span<const unsigned char> bytes, bool all_arrived, std::size_t& used) {
  if (bytes.size() == 1) {
    used = 1;
    return all_arrived ? ESC : KEY_INCOMPLETE;
  }
  const unsigned char intro = bytes[1];
  if (intro != '[' && intro != 'O') {  // Alt+key: the key itself
    const int code = decode_key(bytes.subspan(1), all_arrived, used);
    ++used;
    return code;
  }
  // The linux console sends F1..F5 as ESC [ [ A..E.
  const bool linux_function = intro == '[' && bytes.size() > 2 && bytes[2] == '[';
  std::size_t i = linux_function ? 3 : 2;
  int number = 0;  // the first parameter, which names the key before a ~
  for (bool first = true; i < bytes.size() && bytes[i] >= 0x20 && bytes[i] <= 0x3F; ++i) {
    if (bytes[i] >= '0' && bytes[i] <= '9') {
      if (first && number < 1000) number = number * 10 + (bytes[i] - '0');
    } else {
      first = false;
    }
  }
  if (i == bytes.size() && !all_arrived) return KEY_INCOMPLETE;
  if (i == bytes.size() || bytes[i] < 0x40 || bytes[i] > 0x7E) {  // cut short
    used = i;
    return i == 2 ? intro : 0;
  }
  used = i + 1;
  if (linux_function) return 0;
  switch (bytes[i]) {
    case 'A': case 'B': case 'C': case 'D': case 'H': case 'F':
      return CURSOR_BLOCK;
    case '~':
      return (number >= 1 && number <= 8) || number == 23 || number == 24 ? CURSOR_BLOCK : 0;
    default:
      return 0;
  }
}

// Decodes a UTF-8 character whose lead byte `bytes[0]` is 0xC2..0xF4.
int decode_utf8(std::span<const unsigned char> bytes, bool all_arrived, std::size_t& used) {
  const unsigned char lead = bytes[0];
  const std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  used = 1;  // until the character proves valid, the lead byte stands alone
  char32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if (i == bytes.size()) return all_arrived ? lead : KEY_INCOMPLETE;
    if ((bytes[i] & 0xC0) != 0x80) return lead;
    code = (code << 6) | (bytes[i] & 0x3F);
  }
  constexpr std::array<char32_t, 5> least{0, 0, 0x80, 0x800, 0x10000};  // no overlong forms
  if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return lead;
  used = length;
  return code <= 0xFF ? static_cast<int>(code) : '?';
}

// Reads one byte from `fd`, waiting at most `timeout_ms` (-1: no limit).
// Returns false on timeout or when the terminal cannot be read (hang-up).
bool read_byte(int fd, unsigned char& byte, int timeout_ms) {
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    const int count = poll(&ready, 1, timeout_ms);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    const ssize_t got = read(fd, &byte, 1);
    if (got == 1) return true;
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return false;
  }
}

// Reads the bytes of one key and decodes them; -1 when nothing can be read.
// Bytes are read one at a time, so that keys after this one stay queued.
int read_key(int fd) {
  std::array<unsigned char, 32> bytes{};
  std::size_t count = 0;
  if (!read_byte(fd, bytes[count++], -1)) return -1;
  std::size_t used = 0;
  for (;;) {
    const std::span<const unsigned char> got(bytes.data(), count);
    const int code = decode_key(got, false, used);
    if (code != KEY_INCOMPLETE) return code;
    if (count == bytes.size() || !read_byte(fd, bytes[count], SEQUENCE_GAP_MS)) {
      return decode_key(got, true, used);
    }
    ++count;
  }
}

// The terminal being waited on and its mode before the wait, for the handler
// that restores it when a signal ends the process.
int waiting_tty = -1;
termios mode_before{};

constexpr std::array<int, 4> ENDING_SIGNALS{SIGTERM, SIGHUP, SIGQUIT, SIGINT};

extern "C" void restore_and_end(int signal_number) {
  tcsetattr(waiting_tty, TCSANOW, &mode_before);
  // The handler was installed with SA_RESETHAND: the default action now
  // ends the process once the handler returns.
  raise(signal_number);
}

// Installs restore_and_end for each ending signal the process does not
// ignore; `previous` receives the handlers to put back.
void install_handlers(std::array<struct sigaction, ENDING_SIGNALS.size()>& previous) {
  struct sigaction action {};
  action.sa_handler = restore_and_end;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal_number : ENDING_SIGNALS) sigaddset(&action.sa_mask, signal_number);
  for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i) {
    sigaction(ENDING_SIGNALS[i], nullptr, &previous[i]);
    if (previous[i].sa_handler != SIG_IGN) sigaction(ENDING_SIGNALS[i], &action, nullptr);
  }
}

}  // namespace

int decode_key(std::span<const unsigned char> bytes, bool all_arrived, std::size_t& used) {
  const unsigned char first = bytes[0];
  if (first == ESC) return decode_escape(bytes, all_arrived, used);
  if (first >= 0xC2 && first <= 0xF4) return decode_utf8(bytes, all_arrived, used);
  used = 1;
  return first == 127 ? 8 : first;
}

int wait_for_key() {
  const int tty = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return -1;
  if (tcgetattr(tty, &mode_before) != 0) {
    close(tty);
    return -1;
  }
  waiting_tty = tty;
  std::array<struct sigaction, ENDING_SIGNALS.size()> previous{};
  install_handlers(previous);

  // No echo, no line editing, no signal or flow-control keys, and Enter
  // left as CR. TCSANOW keeps keys typed ahead of the wait.
  termios raw = mode_before;
  raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | ISTRIP | BRKINT);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  const int key = tcsetattr(tty, TCSANOW, &raw) == 0 ? read_key(tty) : -1;
  tcsetattr(tty, TCSANOW, &mode_before);

  for (std::size_t i = 0; i < ENDING_SIGNALS.size(); ++i) sigaction(ENDING_SIGNALS[i], &previous[i], nullptr);
  waiting_tty = -1;
  close(tty);
  return key;
}

}  // namespace lowmode
