// Holds a named mutex for the named-mutex tests from another process: prints
// "existed=0" or "existed=1" once it holds it, then waits until stdin closes or
// it is killed.
#include <unistd.h>

#include <cstdio>

#include "platform/named_mutex.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  qel::platform::NamedMutex mutex;
  bool existed = false;
  if (!mutex.Create(argv[1], &existed)) return 1;
  std::printf("existed=%d\n", existed ? 1 : 0);
  std::fflush(stdout);
  char c;
  while (read(STDIN_FILENO, &c, 1) > 0) {
  }
  return 0;
}
