#include "file_drop.h"

#include <utility>

namespace qel::gtkhost {

namespace {

std::string LocalPath(GFile* file) {
  char* path = file ? g_file_get_path(file) : nullptr;
  std::string text = path ? path : "";
  g_free(path);
  return text;
}

}  // namespace

FileDrop::FileDrop(GtkWidget* widget, std::function<void(const std::string&)> open)
    : open_(std::move(open)) {
  target_ = gtk_drop_target_new(G_TYPE_INVALID, GDK_ACTION_COPY);
  // A file manager offers a list; a single file is what some programs give.
  GType types[] = {GDK_TYPE_FILE_LIST, G_TYPE_FILE};
  gtk_drop_target_set_gtypes(target_, types, G_N_ELEMENTS(types));
  g_object_ref(target_);
  g_signal_connect(target_, "drop",
                   G_CALLBACK(+[](GtkDropTarget*, const GValue* value, double, double,
                                  gpointer self) -> gboolean {
                     return static_cast<FileDrop*>(self)->Drop(value);
                   }),
                   this);
  gtk_widget_add_controller(widget, GTK_EVENT_CONTROLLER(target_));
}

FileDrop::~FileDrop() {
  if (idle_) g_source_remove(idle_);
  g_signal_handlers_disconnect_by_data(target_, this);
  g_object_unref(target_);
}

bool FileDrop::Drop(const GValue* value) {
  std::string path;
  if (G_VALUE_HOLDS(value, GDK_TYPE_FILE_LIST)) {
    auto* list = static_cast<GdkFileList*>(g_value_get_boxed(value));
    GSList* files = list ? gdk_file_list_get_files(list) : nullptr;
    // The first local file: more than one document at a time is not ours to show.
    for (GSList* f = files; f && path.empty(); f = f->next)
      path = LocalPath(G_FILE(f->data));
    g_slist_free(files);
  } else if (G_VALUE_HOLDS(value, G_TYPE_FILE)) {
    path = LocalPath(G_FILE(g_value_get_object(value)));
  }
  if (path.empty()) return false;
  pending_ = path;
  if (!idle_)
    idle_ = g_idle_add(
        +[](gpointer data) -> gboolean {
          auto* self = static_cast<FileDrop*>(data);
          self->idle_ = 0;
          const std::string path = std::exchange(self->pending_, {});
          self->open_(path);
          return G_SOURCE_REMOVE;
        },
        this);
  return true;
}

bool FileDrop::DropPath(const std::string& path) {
  GFile* file = g_file_new_for_path(path.c_str());
  GSList one{file, nullptr};
  GdkFileList* list = gdk_file_list_new_from_list(&one);
  g_object_unref(file);
  GValue value = G_VALUE_INIT;
  g_value_init(&value, GDK_TYPE_FILE_LIST);
  g_value_take_boxed(&value, list);
  const bool taken = Drop(&value);
  g_value_unset(&value);
  return taken;
}

}  // namespace qel::gtkhost
