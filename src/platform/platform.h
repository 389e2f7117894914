// The operating-system services the control is given when it is made, so that
// nothing it needs is a global: a desktop host passes its own implementations,
// tests and headless programs take MakeHeadlessPlatform().
#pragma once

#include <memory>

#include "platform/clipboard.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"

namespace qel::platform {

struct Platform {
  std::shared_ptr<MessageBoxService> messageBoxes;
  std::shared_ptr<Clipboard> clipboard;
  // The queue of the host's thread: timers, posted work and device reports
  // reach the control through it. Null: the control makes one of its own.
  std::shared_ptr<MessageQueue> queue;
};

// Message boxes recorded and written to stderr, an in-process clipboard.
Platform MakeHeadlessPlatform();

}  // namespace qel::platform
