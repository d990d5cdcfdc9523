// One key press read straight from the controlling terminal.
#pragma once

#include <cstddef>
#include <span>

namespace lowmode {

// Waits for one key press on the controlling terminal (never standard input)
// with the terminal in raw mode, restores the terminal and returns the key:
//   0 .. 255  the character code (Enter 13, Ctrl+C 3, Escape 27, Backspace 8)
//   224       cursor block, Insert, Delete, Home, End, Page Up/Down, F11, F12
//   0         F1 .. F10, the numeric-pad keys and unknown escape sequences
//   -1        at once, when there is no controlling terminal
// Keys typed before the call and not yet read count. The terminal is
// restored also when SIGTERM, SIGHUP, SIGQUIT or SIGINT ends the process
// during the wait; signals the process ignores stay ignored.
int wait_for_key();

// decode_key's answer when `bytes` is only the beginning of a longer key.
inline constexpr int KEY_INCOMPLETE = -2;

// Decodes the key at the start of `bytes` (at least one byte) as
// wait_for_key reports it. `all_arrived` tells that no further bytes are
// coming (the terminal stayed silent); until then a prefix of a longer key
// yields KEY_INCOMPLETE. Otherwise sets `used` to the number of bytes that
// belong to the key and returns its code:
//   - a single byte gives itself, except DEL (127, what Backspace sends): 8;
//   - ESC alone gives 27;
//   - ESC [ or ESC O with parameter and intermediate bytes and a final byte
//     gives 224 for the cursor block (final A B C D H F; ~ after the numbers
//     1 to 8, 23 and 24) and 0 for every other sequence: F1 to F12's other
//     forms, the numeric pad, the linux console's ESC [ [ A..E and sequences
//     no key is known for; modifier parameters (ESC [1;5A) do not matter;
//   - an escape sequence cut short by silence or by a byte that cannot
//     continue it is unknown (0) and ends before that byte; ESC [ and ESC O
//     cut short right after the introducer are Alt+[ and Alt+O;
//   - ESC followed by any other key is that key pressed with Alt and gives
//     the key's own code (ESC x gives 'x');
//   - a UTF-8 character gives its code point when that is at most 255 and
//     '?' (63) otherwise; a byte that does not start a valid UTF-8 character
//     is taken on its own as a Latin-1 character (its own value).
int decode_key(std::span<const unsigned char> bytes, bool all_arrived, std::size_t& used);

}  // namespace lowmode
