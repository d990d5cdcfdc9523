// lowmode: the lowest mode of K - lambda M = 0 by inverse iteration.
// The program takes no arguments; everything comes from the dialogue.
#include "front/run.h"
#include "platform/console.h"

int main() {
  lowmode::configure_console_output();
  lowmode::run_program();
}
