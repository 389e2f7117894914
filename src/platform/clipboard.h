// The system clipboard as the control uses it: open, empty, put or take data of
// a named format, close. Data is set or read only while this user has it open,
// and only one user at a time can have it open. ClipboardSession opens it for a
// scope. HeadlessClipboard keeps the data inside the process.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::platform {

// Wave audio: the bytes of a complete RIFF/WAVE file. Desktops name it by
// either MIME type; the control offers both and takes whichever is there.
inline constexpr std::string_view kClipboardWave = "audio/x-wav";
inline constexpr std::string_view kClipboardWaveAlias = "audio/wav";
inline constexpr std::array<std::string_view, 2> kClipboardWaveTypes = {kClipboardWave,
                                                                        kClipboardWaveAlias};

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

// Wave bytes under every wave type; only while open. False when any was refused.
bool SetWaveData(Clipboard& clipboard, const std::vector<uint8_t>& image);
// The wave bytes of the first wave type present; nothing when none is (or
// when not open).
std::optional<std::vector<uint8_t>> GetWaveData(const Clipboard& clipboard);

// The clipboard of this process without a desktop: one for every control the
// process makes, as the system's is, so that what one control copies another
// can paste; what was copied stays for the life of the process.
std::shared_ptr<Clipboard> SharedHeadlessClipboard();

}  // namespace qel::platform
