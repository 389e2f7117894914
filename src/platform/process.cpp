#include "platform/process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace qel::platform {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

int64_t CurrentProcessId() {
  return static_cast<int64_t>(getpid());
}

bool ProcessRunning(int64_t pid) {
  if (pid <= 0 || pid > INT_MAX) return true;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

}  // namespace qel::platform
