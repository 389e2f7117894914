// Modal message boxes. The control shows one when something it needs is missing;
// the host decides how it looks. HeadlessMessageBoxes answers at once, keeps
// every box for tests to read and writes it to stderr.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qel::platform {

// Buttons and icons, with their Windows values.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_OKCANCEL = 0x1;
inline constexpr uint32_t MB_ABORTRETRYIGNORE = 0x2;
inline constexpr uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_RETRYCANCEL = 0x5;
inline constexpr uint32_t MB_TYPEMASK = 0xF;
inline constexpr uint32_t MB_ICONSTOP = 0x10;  // also the error icon
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr uint32_t MB_ICONMASK = 0xF0;

// The button that closed a box.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Shows a modal box and returns the button that closed it.
  virtual int Show(std::string_view caption, std::string_view text, uint32_t flags) = 0;
};

// The first button of a box of these flags (what pressing Enter would choose).
int DefaultButton(uint32_t flags);

class HeadlessMessageBoxes final : public MessageBoxService {
 public:
  struct Shown {
    std::string caption;
    std::string text;
    uint32_t flags;
  };

  // Each box is written as "<caption>: <text>" to log (stderr unless given).
  explicit HeadlessMessageBoxes(std::ostream* log = nullptr);

  // Answers with `answer` when set (not 0), else with the box's first button.
  int Show(std::string_view caption, std::string_view text, uint32_t flags) override;

  void SetAnswer(int answer);
  std::vector<Shown> All() const;
  size_t Count() const;
  void Clear();

 private:
  std::ostream* log_;
  mutable std::mutex mutex_;
  std::vector<Shown> shown_;
  int answer_ = 0;
};

}  // namespace qel::platform
