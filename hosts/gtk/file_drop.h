// Files dropped on a widget: the first local file of the drop is handed on.
// The handing on waits for an idle moment, after the drop has been answered,
// because opening may ask about unsaved changes in a modal box, which must
// not hold the other program's drag in the middle.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace qel::gtkhost {

class FileDrop {
 public:
  FileDrop(GtkWidget* widget, std::function<void(const std::string&)> open);
  ~FileDrop();
  FileDrop(const FileDrop&) = delete;
  FileDrop& operator=(const FileDrop&) = delete;

  // What a drop of this value (a GFile or a GdkFileList) does: true when it
  // held a local file, which is then opened. The drop target calls it, and so
  // does the editor's test hook.
  bool Drop(const GValue* value);
  // The same for a path, as a one-file list.
  bool DropPath(const std::string& path);

 private:
  std::function<void(const std::string&)> open_;
  GtkDropTarget* target_ = nullptr;  // a reference of our own
  std::string pending_;
  guint idle_ = 0;
};

}  // namespace qel::gtkhost
