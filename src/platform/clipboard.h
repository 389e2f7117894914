// The system clipboard as the control uses it: open, empty, put or take data of
// a named format, close. Data is set or read only while this user has it open,
// and only one user at a time can have it open. ClipboardSession opens it for a
// scope. HeadlessClipboard keeps the data inside the process.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::platform {

// Wave audio: the bytes of a complete RIFF/WAVE file.
inline constexpr std::string_view kClipboardWave = "audio/x-wav";

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // False while another user has the clipboard open.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // Removes every format; only while open.
  virtual bool Empty() = 0;
  // Replaces the data of one format; only while open.
  virtual bool SetData(std::string_view format, std::vector<uint8_t> bytes) = 0;
  // The data of one format; nothing when absent or when not open.
  virtual std::optional<std::vector<uint8_t>> GetData(std::string_view format) const = 0;
  // Whether a format is there; works without opening, as a paste command's
  // enabled state needs it.
  virtual bool HasFormat(std::string_view format) const = 0;
};

// Opens the clipboard for the life of the object.
class ClipboardSession {
 public:
  explicit ClipboardSession(Clipboard& clipboard)
      : clipboard_(clipboard), open_(clipboard.Open()) {}
  ~ClipboardSession() {
    if (open_) clipboard_.Close();
  }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
  bool IsOpen() const { return open_; }
  Clipboard* operator->() const { return &clipboard_; }

 private:
  Clipboard& clipboard_;
  bool open_;
};

class HeadlessClipboard final : public Clipboard {
 public:
  bool Open() override;
  void Close() override;
  bool Empty() override;
  bool SetData(std::string_view format, std::vector<uint8_t> bytes) override;
  std::optional<std::vector<uint8_t>> GetData(std::string_view format) const override;
  bool HasFormat(std::string_view format) const override;

 private:
  mutable std::mutex mutex_;
  bool open_ = false;
  std::map<std::string, std::vector<uint8_t>, std::less<>> data_;
};

}  // namespace qel::platform
