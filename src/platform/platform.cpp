#include "platform/platform.h"

namespace qel::platform {

Platform MakeHeadlessPlatform() {
  return Platform{std::make_shared<HeadlessMessageBoxes>(), std::make_shared<HeadlessClipboard>(),
                  nullptr};
}

}  // namespace qel::platform
