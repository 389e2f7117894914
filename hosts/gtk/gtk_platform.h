// The desktop services the editor gives its control: the system clipboard
// through GdkClipboard and message boxes as modal GTK windows.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/clipboard.h"
#include "platform/message_box.h"

namespace qel::gtkhost {

// The control reads the clipboard synchronously, GTK only asynchronously: what
// another program offers is fetched first (Fetch) and then served from here.
// What the control puts is offered under each of its types when it closes the
// clipboard; while it is offered, the control reads its own data back directly.
class SystemClipboard final : public platform::Clipboard {
 public:
  explicit SystemClipboard(GdkClipboard* clipboard);
  ~SystemClipboard() override;
  SystemClipboard(const SystemClipboard&) = delete;
  SystemClipboard& operator=(const SystemClipboard&) = delete;

  bool Open() override;
  void Close() override;
  bool Empty() override;
  bool SetData(std::string_view format, std::vector<uint8_t> bytes) override;
  std::optional<std::vector<uint8_t>> GetData(std::string_view format) const override;
  bool HasFormat(std::string_view format) const override;

  // Whether the desktop clipboard holds what this process offered.
  bool IsOwn() const;
  // Whether wave data is on the desktop clipboard (anyone's).
  bool HasWave() const;
  // Reads the wave data another program offers, then calls done(true) (done(false)
  // when there is none or it cannot be read). At once when the data is our own.
  void Fetch(std::function<void(bool)> done);

 private:
  struct Fetching;
  static void ReadDone(GObject* source, GAsyncResult* result, gpointer fetching);
  static void SpliceDone(GObject* source, GAsyncResult* result, gpointer fetching);
  void Publish();

  GdkClipboard* clipboard_;  // a reference of ours
  bool open_ = false;
  bool changed_ = false;
  // What we offer; and what another program offered, as fetched last.
  std::map<std::string, std::vector<uint8_t>, std::less<>> own_;
  std::map<std::string, std::vector<uint8_t>, std::less<>> fetched_;
};

// Message boxes as modal windows over the editor's window; Show waits in a
// nested main loop for the answer.
class DialogMessageBoxes final : public platform::MessageBoxService {
 public:
  void SetParent(GtkWindow* parent) { parent_ = parent; }
  int Show(std::string_view caption, std::string_view text, uint32_t flags) override;
  // The text of the last box shown, for the test report.
  const std::string& LastText() const { return lastText_; }

 private:
  GtkWindow* parent_ = nullptr;
  std::string lastText_;
};

}  // namespace qel::gtkhost
