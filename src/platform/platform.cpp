#include "platform/platform.h"

namespace qel::platform {

Platform MakeHeadlessPlatform() {
  return Platform{std::make_shared<HeadlessMessageBoxes>(), SharedHeadlessClipboard(), nullptr};
}

}  // namespace qel::platform
