// Who is writing: this machine's name and this process, and whether another
// process of this machine still runs. Files a process leaves half-written are
// tagged with both, so that whoever comes next can tell a file being written
// from one whose writer died.
#pragma once

#include <cstdint>
#include <string>

namespace qel::platform {

// The host name, or "localhost" when it cannot be read.
std::string HostName();
int64_t CurrentProcessId();
// False only when no process of that id exists on this machine (an id that
// cannot be checked counts as running: nothing of it is touched).
bool ProcessRunning(int64_t pid);

}  // namespace qel::platform
