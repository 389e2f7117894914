#include "gtk_platform.h"

#include <memory>
#include <string>
#include <utility>

namespace qel::gtkhost {

// ---- clipboard ----

struct SystemClipboard::Fetching {
  SystemClipboard* owner;
  std::function<void(bool)> done;
  std::string type;
  GInputStream* input = nullptr;
  GOutputStream* output = nullptr;
  ~Fetching() {
    if (input) g_object_unref(input);
    if (output) g_object_unref(output);
  }
};

SystemClipboard::SystemClipboard(GdkClipboard* clipboard)
    : clipboard_(GDK_CLIPBOARD(g_object_ref(clipboard))) {}

SystemClipboard::~SystemClipboard() {
  g_object_unref(clipboard_);
}

bool SystemClipboard::Open() {
  if (open_) return false;
  open_ = true;
  changed_ = false;
  return true;
}

void SystemClipboard::Close() {
  if (!open_) return;
  open_ = false;
  if (changed_) Publish();
  changed_ = false;
}

bool SystemClipboard::Empty() {
  if (!open_) return false;
  own_.clear();
  changed_ = true;
  return true;
}

bool SystemClipboard::SetData(std::string_view format, std::vector<uint8_t> bytes) {
  if (!open_) return false;
  own_.insert_or_assign(std::string(format), std::move(bytes));
  changed_ = true;
  return true;
}

std::optional<std::vector<uint8_t>> SystemClipboard::GetData(std::string_view format) const {
  if (!open_) return std::nullopt;
  const auto& source = IsOwn() ? own_ : fetched_;
  auto it = source.find(format);
  if (it == source.end()) return std::nullopt;
  return it->second;
}

bool SystemClipboard::HasFormat(std::string_view format) const {
  if (IsOwn()) return own_.count(format) != 0;
  const std::string type(format);
  return gdk_content_formats_contain_mime_type(gdk_clipboard_get_formats(clipboard_), type.c_str());
}

bool SystemClipboard::IsOwn() const {
  return gdk_clipboard_is_local(clipboard_) && !own_.empty();
}

bool SystemClipboard::HasWave() const {
  for (std::string_view type : platform::kClipboardWaveTypes)
    if (HasFormat(type)) return true;
  return false;
}

void SystemClipboard::Publish() {
  if (own_.empty()) {
    gdk_clipboard_set_content(clipboard_, nullptr);
    return;
  }
  std::vector<GdkContentProvider*> providers;
  for (const auto& [type, bytes] : own_) {
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    providers.push_back(gdk_content_provider_new_for_bytes(type.c_str(), data));
    g_bytes_unref(data);
  }
  // The union takes the providers over.
  GdkContentProvider* all = gdk_content_provider_new_union(providers.data(), providers.size());
  gdk_clipboard_set_content(clipboard_, all);
  g_object_unref(all);
}

void SystemClipboard::Fetch(std::function<void(bool)> done) {
  if (IsOwn()) {
    done(true);
    return;
  }
  fetched_.clear();
  std::vector<const char*> types;
  for (std::string_view type : platform::kClipboardWaveTypes)
    types.push_back(type.data());  // the constants are whole C strings
  types.push_back(nullptr);
  auto fetching = std::make_unique<Fetching>(Fetching{this, std::move(done), {}});
  gdk_clipboard_read_async(clipboard_, types.data(), G_PRIORITY_DEFAULT, nullptr,
                           &SystemClipboard::ReadDone, fetching.release());
}

void SystemClipboard::ReadDone(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Fetching> fetching(static_cast<Fetching*>(data));
  const char* type = nullptr;
  fetching->input = gdk_clipboard_read_finish(GDK_CLIPBOARD(source), result, &type, nullptr);
  if (!fetching->input || !type) {
    fetching->done(false);
    return;
  }
  fetching->type = type;
  fetching->output = g_memory_output_stream_new_resizable();
  GOutputStream* output = fetching->output;
  GInputStream* input = fetching->input;
  g_output_stream_splice_async(
      output, input,
      static_cast<GOutputStreamSpliceFlags>(G_OUTPUT_STREAM_SPLICE_CLOSE_SOURCE |
                                            G_OUTPUT_STREAM_SPLICE_CLOSE_TARGET),
      G_PRIORITY_DEFAULT, nullptr, &SystemClipboard::SpliceDone, fetching.release());
}

void SystemClipboard::SpliceDone(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Fetching> fetching(static_cast<Fetching*>(data));
  if (g_output_stream_splice_finish(G_OUTPUT_STREAM(source), result, nullptr) < 0) {
    fetching->done(false);
    return;
  }
  auto* memory = G_MEMORY_OUTPUT_STREAM(fetching->output);
  const auto* bytes = static_cast<const uint8_t*>(g_memory_output_stream_get_data(memory));
  const gsize size = g_memory_output_stream_get_data_size(memory);
  fetching->owner->fetched_[fetching->type] = std::vector<uint8_t>(bytes, bytes + size);
  fetching->done(size > 0);
}

// ---- message boxes ----

namespace {

struct Button {
  const char* label;
  int id;
};

std::vector<Button> ButtonsOf(uint32_t flags) {
  switch (flags & platform::MB_TYPEMASK) {
    case platform::MB_OKCANCEL:
      return {{"_OK", platform::IDOK}, {"_Cancel", platform::IDCANCEL}};
    case platform::MB_ABORTRETRYIGNORE:
      return {{"_Abort", platform::IDABORT},
              {"_Retry", platform::IDRETRY},
              {"_Ignore", platform::IDIGNORE}};
    case platform::MB_YESNOCANCEL:
      return {{"_Yes", platform::IDYES}, {"_No", platform::IDNO}, {"_Cancel", platform::IDCANCEL}};
    case platform::MB_YESNO:
      return {{"_Yes", platform::IDYES}, {"_No", platform::IDNO}};
    case platform::MB_RETRYCANCEL:
      return {{"_Retry", platform::IDRETRY}, {"_Cancel", platform::IDCANCEL}};
    default:
      return {{"_OK", platform::IDOK}};
  }
}

const char* IconOf(uint32_t flags) {
  switch (flags & platform::MB_ICONMASK) {
    case platform::MB_ICONSTOP:
      return "dialog-error";
    case platform::MB_ICONQUESTION:
      return "dialog-question";
    case platform::MB_ICONWARNING:
      return "dialog-warning";
    case platform::MB_ICONINFORMATION:
      return "dialog-information";
    default:
      return nullptr;
  }
}

struct Waiting {
  GMainLoop* loop;
  int answer;
};

}  // namespace

int DialogMessageBoxes::Show(std::string_view caption, std::string_view text, uint32_t flags) {
  const std::vector<Button> buttons = ButtonsOf(flags);
  lastText_ = text;
  // Closing the window answers as the last button would (Cancel or No; OK for one).
  Waiting waiting{g_main_loop_new(nullptr, FALSE), buttons.back().id};

  GtkWidget* window = gtk_window_new();
  const std::string title(caption);
  gtk_window_set_title(GTK_WINDOW(window), title.c_str());
  gtk_window_set_modal(GTK_WINDOW(window), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  if (parent_) gtk_window_set_transient_for(GTK_WINDOW(window), parent_);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_widget_set_margin_start(box, 18);
  gtk_widget_set_margin_end(box, 18);
  gtk_widget_set_margin_top(box, 18);
  gtk_widget_set_margin_bottom(box, 12);
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  if (const char* icon = IconOf(flags)) {
    GtkWidget* image = gtk_image_new_from_icon_name(icon);
    gtk_image_set_icon_size(GTK_IMAGE(image), GTK_ICON_SIZE_LARGE);
    gtk_box_append(GTK_BOX(row), image);
  }
  const std::string message(text);
  GtkWidget* label = gtk_label_new(message.c_str());
  gtk_label_set_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_box_append(GTK_BOX(row), label);
  gtk_box_append(GTK_BOX(box), row);

  GtkWidget* actions = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_halign(actions, GTK_ALIGN_END);
  for (const Button& b : buttons) {
    GtkWidget* button = gtk_button_new_with_mnemonic(b.label);
    g_object_set_data(G_OBJECT(button), "qel-answer", GINT_TO_POINTER(b.id));
    g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton* self, gpointer data) {
                       auto* w = static_cast<Waiting*>(data);
                       w->answer = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(self), "qel-answer"));
                       g_main_loop_quit(w->loop);
                     }),
                     &waiting);
    gtk_box_append(GTK_BOX(actions), button);
  }
  gtk_box_append(GTK_BOX(box), actions);
  gtk_window_set_child(GTK_WINDOW(window), box);
  // Enter chooses the first button, as the box's default.
  if (GtkWidget* first = gtk_widget_get_first_child(actions))
    gtk_window_set_default_widget(GTK_WINDOW(window), first);
  g_signal_connect(window, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer data) -> gboolean {
                     g_main_loop_quit(static_cast<Waiting*>(data)->loop);
                     return TRUE;
                   }),
                   &waiting);
  gtk_window_present(GTK_WINDOW(window));
  g_main_loop_run(waiting.loop);
  g_signal_handlers_disconnect_by_data(window, &waiting);
  gtk_window_destroy(GTK_WINDOW(window));
  g_main_loop_unref(waiting.loop);
  return waiting.answer;
}

}  // namespace qel::gtkhost
