#include "editor_window.h"

#include <glib-unix.h>

#include <algorithm>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <utility>

#include "com/bstr.h"
#include "com/classtable.h"
#include "com/errorinfo.h"
#include "com/safearray.h"
#include "com/variant.h"
#include "core/audio_editor.h"
#include "document/codes.h"
#include "effect_table.h"

namespace qel::gtkhost {

using com::ComPtr;
using com::DISPID;
using com::HRESULT;

namespace {

constexpr const char* kAppTitle = "Qel Audio Editor";

// Names of the operations the undo and redo items show.
std::string OperationName(int32_t code) {
  switch (code) {
    case opcode::kRecord:
      return "Record";
    case opcode::kPutAudioArray:
      return "Audio Data";
    case opcode::kPaste:
      return "Paste";
    case opcode::kPasteFromFile:
      return "Paste from File";
    case opcode::kMix:
    case opcode::kMixFromFile:
      return "Mix";
    case opcode::kConvertSampleType:
      return "Convert";
    case opcode::kResample:
      return "Resample";
    case opcode::kTrim:
      return "Trim";
    case opcode::kSilence:
      return "Silence";
    case opcode::kReverse:
      return "Reverse";
    case opcode::kInvert:
      return "Invert";
    case opcode::kAmplify:
      return "Amplify";
    case opcode::kFade:
      return "Fade";
    case opcode::kNormalize:
      return "Normalize";
    case opcode::kLowPassFilter:
      return "Low-pass Filter";
    case opcode::kHighPassFilter:
      return "High-pass Filter";
    case opcode::kDeleteSelect:
      return "Delete";
    case opcode::kCut:
      return "Cut";
    default:
      return "Operation";
  }
}

// The file type the media component writes for a file name's extension; 0
// keeps the document's own type.
int32_t FileTypeOf(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext)
    c = static_cast<char>(g_ascii_tolower(c));
  static constexpr std::pair<std::string_view, int32_t> kTypes[] = {
      {".wav", 37},  {".rf64", 38}, {".w64", 39}, {".aif", 40},  {".aiff", 40},
      {".flac", 41}, {".mp3", 42},  {".ogg", 43}, {".opus", 44}, {".aac", 45},
      {".m4a", 46},  {".raw", 47},  {".pcm", 47},
  };
  for (const auto& [e, type] : kTypes)
    if (ext == e) return type;
  return 0;
}

std::string Seconds(int64_t frames, int32_t rate) {
  if (rate <= 0) return "0.000 s";
  char text[48];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(frames) / rate);
  return text;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Runs the main loop until the modal window is answered; answer stays as set
// when the window is closed.
void WaitFor(GtkWindow* window, GMainLoop* loop) {
  g_signal_connect(window, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer l) -> gboolean {
                     g_main_loop_quit(static_cast<GMainLoop*>(l));
                     return TRUE;
                   }),
                   loop);
  gtk_window_present(window);
  g_main_loop_run(loop);
  g_signal_handlers_disconnect_by_data(window, loop);
}

}  // namespace

// The sink of the control's events.
class EditorWindow::Events final : public com::ComObject<Events, com::IDispatch> {
 public:
  explicit Events(EditorWindow* owner) : owner_(owner) {}
  void Detach() { owner_ = nullptr; }

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    *count = 0;
    return com::S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, com::LCID, com::ITypeInfo**) override { return com::E_NOTIMPL; }
  HRESULT GetIDsOfNames(com::REFIID, com::OLECHAR**, uint32_t, com::LCID, DISPID*) override {
    return com::E_NOTIMPL;
  }
  HRESULT Invoke(DISPID id, com::REFIID, com::LCID, uint16_t, com::DISPPARAMS* params,
                 com::VARIANT*, com::EXCEPINFO*, uint32_t*) override {
    if (owner_) owner_->OnEvent(id, params);
    return com::S_OK;
  }

 private:
  EditorWindow* owner_;
};

// ---- construction ----

EditorWindow::EditorWindow(GtkApplication* app, EditorOptions options)
    : options_(std::move(options)) {
  queue_ = std::make_shared<platform::MessageQueue>();
  clipboard_ =
      std::make_shared<SystemClipboard>(gdk_display_get_clipboard(gdk_display_get_default()));
  boxes_ = std::make_shared<DialogMessageBoxes>();

  if (com::Failed(com::CoCreateInstance(CLSID_AudioEditor, nullptr, com::CLSCTX_INPROC_SERVER,
                                        IAudioEditor::kIID, control_.OutVoid())))
    throw std::runtime_error("the audio-editor control cannot be created");
  // The class is the only implementation of its interface.
  editor_ = static_cast<CAudioEditor*>(control_.get());
  editor_->SetPlatform({boxes_, clipboard_, queue_});

  auto events = Events::Create(this);
  ComPtr<com::IConnectionPointContainer> container;
  if (com::Succeeded(
          control_->QueryInterface(com::IConnectionPointContainer::kIID, container.OutVoid())) &&
      com::Succeeded(container->FindConnectionPoint(IID__IAudioEditorEvents, point_.Out())))
    point_->Advise(events.get(), &cookie_);

  window_ = GTK_WINDOW(gtk_application_window_new(app));
  gtk_window_set_default_size(window_, 900, 520);
  boxes_->SetParent(window_);
  BuildActions(app);
  BuildMenu(app);
  gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window_), TRUE);

  GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_append(GTK_BOX(content), BuildToolbar());

  host_ = std::make_unique<GtkWindowHost>(*queue_);
  host_->SetAfterMouse([this] { Refresh(); });
  gtk_box_append(GTK_BOX(content), host_->Widget());
  if (Picture* view = editor_->Waveform()) view->AttachWindow(host_.get());
  // The report names where the picture is; it moves when the window is laid out.
  g_signal_connect_swapped(host_->Widget(), "resize",
                           G_CALLBACK(+[](EditorWindow* self) { self->WriteReport(); }), this);

  progressRow_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_margin_start(progressRow_, 6);
  gtk_widget_set_margin_end(progressRow_, 6);
  progress_ = gtk_progress_bar_new();
  gtk_widget_set_hexpand(progress_, TRUE);
  gtk_widget_set_valign(progress_, GTK_ALIGN_CENTER);
  gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(progress_), TRUE);
  gtk_box_append(GTK_BOX(progressRow_), progress_);
  GtkWidget* cancel = gtk_button_new_with_label("Cancel");
  g_signal_connect_swapped(cancel, "clicked",
                           G_CALLBACK(+[](EditorWindow* self) { self->OnCancel(); }), this);
  gtk_box_append(GTK_BOX(progressRow_), cancel);
  gtk_widget_set_visible(progressRow_, FALSE);
  gtk_box_append(GTK_BOX(content), progressRow_);

  status_ = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(status_), 0);
  gtk_label_set_selectable(GTK_LABEL(status_), FALSE);
  gtk_widget_set_margin_start(status_, 6);
  gtk_widget_set_margin_top(status_, 3);
  gtk_widget_set_margin_bottom(status_, 3);
  gtk_box_append(GTK_BOX(content), status_);
  gtk_window_set_child(window_, content);

  g_signal_connect(window_, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer self) -> gboolean {
                     return static_cast<EditorWindow*>(self)->ConfirmDiscard() ? FALSE : TRUE;
                   }),
                   this);

  // The control's posted work and timers run when its queue says so.
  queueWatch_ = g_unix_fd_add(
      queue_->Fd(), G_IO_IN,
      +[](int, GIOCondition, gpointer self) -> gboolean {
        static_cast<EditorWindow*>(self)->queue_->Dispatch();
        return G_SOURCE_CONTINUE;
      },
      this);
  if (!options_.snapshot.empty())
    signalWatch_ = g_unix_signal_add(
        SIGUSR1,
        +[](gpointer self) -> gboolean {
          static_cast<EditorWindow*>(self)->WriteSnapshot();
          return G_SOURCE_CONTINUE;
        },
        this);
  Refresh();
}

EditorWindow::~EditorWindow() {
  if (queueWatch_) g_source_remove(queueWatch_);
  if (signalWatch_) g_source_remove(signalWatch_);
  if (point_ && cookie_) point_->Unadvise(cookie_);
  control_->Stop();
  control_->Close();
  if (Picture* view = editor_->Waveform()) view->AttachWindow(nullptr);
  // Give the control back its headless services before the desktop ones go.
  editor_->SetPlatform(platform::MakeHeadlessPlatform());
}

struct ActionSpec {
  const char* name;
  void (EditorWindow::*run)();
  const char* accels[3];
};

void EditorWindow::BuildActions(GtkApplication* app) {
  using W = EditorWindow;
  const ActionSpec specs[] = {
      {"open", &W::OnOpen, {"<Control>o"}},
      {"save", &W::OnSave, {"<Control>s"}},
      {"save-as", &W::OnSaveAs, {"<Control><Shift>s"}},
      {"close", &W::OnClose, {"<Control>w"}},
      {"quit", &W::OnQuit, {"<Control>q"}},
      {"undo", &W::OnUndo, {"<Control>z"}},
      {"redo", &W::OnRedo, {"<Control>y", "<Control><Shift>z"}},
      {"copy", &W::OnCopy, {"<Control>c"}},
      {"cut", &W::OnCut, {"<Control>x"}},
      {"paste", &W::OnPaste, {"<Control>v"}},
      {"delete", &W::OnDelete, {"Delete"}},
      {"trim", &W::OnTrim, {"<Control>t"}},
      {"select-all", &W::OnSelectAll, {"<Control>a"}},
      {"zoom-in", &W::OnZoomIn, {"<Control>plus", "<Control>equal"}},
      {"zoom-out", &W::OnZoomOut, {"<Control>minus"}},
      {"zoom-full", &W::OnZoomFull, {"<Control>0"}},
      {"play", &W::OnPlay, {"space"}},
      {"pause", &W::OnPause, {"<Control>p"}},
      {"stop", &W::OnStop, {"Escape"}},
  };
  for (const ActionSpec& spec : specs) {
    GSimpleAction* action = g_simple_action_new(spec.name, nullptr);
    slots_.push_back(std::make_unique<ActionSlot>(ActionSlot{this, spec.run}));
    g_signal_connect(action, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer data) {
                       auto* slot = static_cast<ActionSlot*>(data);
                       (slot->self->*slot->run)();
                     }),
                     slots_.back().get());
    g_action_map_add_action(G_ACTION_MAP(window_), G_ACTION(action));
    g_object_unref(action);
    const std::string detailed = std::string("win.") + spec.name;
    const char* accels[4] = {spec.accels[0], spec.accels[1], spec.accels[2], nullptr};
    gtk_application_set_accels_for_action(app, detailed.c_str(), accels);
  }
  GSimpleAction* effect = g_simple_action_new("effect", G_VARIANT_TYPE_STRING);
  g_signal_connect(effect, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* id, gpointer self) {
                     static_cast<EditorWindow*>(self)->OnEffect(g_variant_get_string(id, nullptr));
                   }),
                   this);
  g_action_map_add_action(G_ACTION_MAP(window_), G_ACTION(effect));
  g_object_unref(effect);
}

void EditorWindow::BuildMenu(GtkApplication* app) {
  GMenu* bar = g_menu_new();
  auto section = [](GMenu* menu, std::initializer_list<std::pair<const char*, const char*>> items) {
    GMenu* part = g_menu_new();
    for (const auto& [label, action] : items)
      g_menu_append(part, label, action);
    g_menu_append_section(menu, nullptr, G_MENU_MODEL(part));
    g_object_unref(part);
  };
  GMenu* file = g_menu_new();
  section(file, {{"_Open…", "win.open"}, {"_Save", "win.save"}, {"Save _As…", "win.save-as"}});
  section(file, {{"_Close", "win.close"}, {"_Quit", "win.quit"}});
  g_menu_append_submenu(bar, "_File", G_MENU_MODEL(file));
  g_object_unref(file);

  GMenu* edit = g_menu_new();
  undoSection_ = g_menu_new();
  g_menu_append_section(edit, nullptr, G_MENU_MODEL(undoSection_));
  g_object_unref(undoSection_);  // the edit menu keeps it
  section(edit, {{"Cu_t", "win.cut"},
                 {"_Copy", "win.copy"},
                 {"_Paste", "win.paste"},
                 {"_Delete", "win.delete"},
                 {"T_rim", "win.trim"}});
  section(edit, {{"Select _All", "win.select-all"}});
  g_menu_append_submenu(bar, "_Edit", G_MENU_MODEL(edit));
  g_object_unref(edit);

  GMenu* view = g_menu_new();
  section(view, {{"Zoom _In", "win.zoom-in"},
                 {"Zoom _Out", "win.zoom-out"},
                 {"Zoom to _Fit", "win.zoom-full"}});
  g_menu_append_submenu(bar, "_View", G_MENU_MODEL(view));
  g_object_unref(view);

  GMenu* effects = g_menu_new();
  for (const Effect& e : kEffects) {
    const std::string label = std::string(e.title) + "…";
    const std::string action = "win.effect::" + std::string(e.id);
    g_menu_append(effects, label.c_str(), action.c_str());
  }
  g_menu_append_submenu(bar, "Effe_cts", G_MENU_MODEL(effects));
  g_object_unref(effects);

  GMenu* play = g_menu_new();
  section(play, {{"_Play", "win.play"}, {"P_ause", "win.pause"}, {"_Stop", "win.stop"}});
  g_menu_append_submenu(bar, "_Playback", G_MENU_MODEL(play));
  g_object_unref(play);

  gtk_application_set_menubar(app, G_MENU_MODEL(bar));
  g_object_unref(bar);
  UpdateUndoLabels();
}

GtkWidget* EditorWindow::BuildToolbar() {
  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
  gtk_widget_add_css_class(bar, "toolbar");
  const std::pair<const char*, const char*> buttons[] = {
      {"document-open-symbolic", "win.open"},
      {"document-save-symbolic", "win.save"},
      {"edit-undo-symbolic", "win.undo"},
      {"edit-redo-symbolic", "win.redo"},
      {"edit-cut-symbolic", "win.cut"},
      {"edit-copy-symbolic", "win.copy"},
      {"edit-paste-symbolic", "win.paste"},
      {"zoom-in-symbolic", "win.zoom-in"},
      {"zoom-out-symbolic", "win.zoom-out"},
      {"zoom-fit-best-symbolic", "win.zoom-full"},
      {"media-playback-start-symbolic", "win.play"},
      {"media-playback-pause-symbolic", "win.pause"},
      {"media-playback-stop-symbolic", "win.stop"},
  };
  for (const auto& [icon, action] : buttons) {
    GtkWidget* button = gtk_button_new_from_icon_name(icon);
    gtk_actionable_set_action_name(GTK_ACTIONABLE(button), action);
    gtk_widget_set_focus_on_click(button, FALSE);
    gtk_box_append(GTK_BOX(bar), button);
  }
  return bar;
}

// ---- running members ----

void EditorWindow::ShowError(HRESULT hr) {
  std::string text;
  ComPtr<com::IErrorInfo> info;
  if (com::GetErrorInfo(0, info.Out()) == com::S_OK && info) {
    com::Bstr description;
    info->GetDescription(description.Out());
    text = description.utf8();
  }
  if (text.empty()) {
    char code[32];
    std::snprintf(code, sizeof code, "Error 0x%08X", static_cast<uint32_t>(hr));
    text = code;
  }
  boxes_->Show(kAppTitle, text, platform::MB_OK | platform::MB_ICONSTOP);
}

std::vector<int32_t> EditorWindow::UndoCodes(bool redo) const {
  com::SafeArray list;
  if (redo)
    control_->get_RedoList(list.Out());
  else
    control_->get_UndoList(list.Out());
  std::vector<int32_t> codes;
  if (!list.get()) return codes;
  int32_t low = 0, high = -1;
  com::SafeArrayGetLBound(list.get(), 1, &low);
  com::SafeArrayGetUBound(list.get(), 1, &high);
  for (int32_t i = low; i <= high; ++i) {
    int32_t code = 0;
    if (com::SafeArrayGetElement(list.get(), &i, &code) == com::S_OK) codes.push_back(code);
  }
  return codes;
}

bool EditorWindow::Run(HRESULT hr) {
  SetBusy(false);
  const bool ok = com::Succeeded(hr);
  if (!ok) ShowError(hr);
  Refresh();
  return ok;
}

std::string EditorWindow::Version() const {
  const document::HistoryStep* step = editor_->Model().Current();
  return step ? step->sampleFile : std::string();
}

bool EditorWindow::Modified() const {
  return editor_->Model().IsOpen() && Version() != savedVersion_;
}

bool EditorWindow::OpenPath(const std::string& path) {
  return ConfirmDiscard() && Load(path);
}

bool EditorWindow::Load(const std::string& path) {
  const HRESULT hr = control_->OpenFile(com::Bstr::FromUtf8(path).get(), -1, 0, 0, 0, 0, 0);
  SetBusy(false);
  if (com::Failed(hr) || !editor_->Model().IsOpen()) {
    if (com::Failed(hr)) ShowError(hr);
    Refresh();
    return false;
  }
  path_ = path;
  savedVersion_ = Version();
  Refresh();
  return true;
}

bool EditorWindow::SaveTo(const std::string& path) {
  const HRESULT hr =
      control_->SaveFile(com::Bstr::FromUtf8(path).get(), com::VARIANT_FALSE, 0, FileTypeOf(path));
  if (!Run(hr)) return false;
  path_ = path;
  savedVersion_ = Version();
  Refresh();
  return true;
}

bool EditorWindow::ConfirmDiscard() {
  if (!Modified()) return true;
  const std::string name =
      path_.empty() ? "Untitled" : std::filesystem::path(path_).filename().string();
  const int answer = boxes_->Show(kAppTitle, "Save the changes to \"" + name + "\" first?",
                                  platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION);
  if (answer == platform::IDCANCEL) return false;
  if (answer == platform::IDYES) {
    if (path_.empty()) return false;  // Save As first
    return SaveTo(path_);
  }
  return true;
}

// ---- commands ----

void EditorWindow::OnOpen() {
  if (!ConfirmDiscard()) return;
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      "Open Audio File", window_, GTK_FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
  g_signal_connect(chooser, "response",
                   G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer self) {
                     if (response == GTK_RESPONSE_ACCEPT) {
                       GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
                       if (char* path = file ? g_file_get_path(file) : nullptr) {
                         // Already asked about the document open now.
                         static_cast<EditorWindow*>(self)->Load(path);
                         g_free(path);
                       }
                       if (file) g_object_unref(file);
                     }
                     g_object_unref(dialog);
                   }),
                   this);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void EditorWindow::OnSave() {
  if (!editor_->Model().IsOpen()) return;
  if (path_.empty()) {
    OnSaveAs();
    return;
  }
  SaveTo(path_);
}

void EditorWindow::OnSaveAs() {
  if (!editor_->Model().IsOpen()) return;
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      "Save Audio File", window_, GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", "_Cancel");
  if (!path_.empty()) {
    GFile* current = g_file_new_for_path(path_.c_str());
    gtk_file_chooser_set_file(GTK_FILE_CHOOSER(chooser), current, nullptr);
    g_object_unref(current);
  }
  g_signal_connect(chooser, "response",
                   G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer self) {
                     if (response == GTK_RESPONSE_ACCEPT) {
                       GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
                       if (char* path = file ? g_file_get_path(file) : nullptr) {
                         static_cast<EditorWindow*>(self)->SaveTo(path);
                         g_free(path);
                       }
                       if (file) g_object_unref(file);
                     }
                     g_object_unref(dialog);
                   }),
                   this);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void EditorWindow::OnClose() {
  if (!ConfirmDiscard()) return;
  Run(control_->Close());
  path_.clear();
  savedVersion_.clear();
  Refresh();
}

void EditorWindow::OnQuit() {
  gtk_window_close(window_);
}

void EditorWindow::OnUndo() {
  Run(control_->Undo(1));
}
void EditorWindow::OnRedo() {
  Run(control_->Redo(1));
}

void EditorWindow::OnCopy() {
  // The control's own clipboard for pasting here, the desktop's for other programs.
  if (Run(control_->Copy())) Run(control_->CopyToClipboard());
}

void EditorWindow::OnCut() {
  if (Run(control_->CopyToClipboard())) Run(control_->Cut());
}

void EditorWindow::OnPaste() {
  if (!editor_->Model().IsOpen()) return;
  if (clipboard_->HasWave() && !clipboard_->IsOwn()) {
    // Another program's audio: fetch it, then paste it from the clipboard.
    SetBusy(true);
    clipboard_->Fetch([this](bool fetched) {
      SetBusy(false);
      if (fetched)
        Run(control_->PasteFromClipboard());
      else
        Refresh();
    });
    return;
  }
  Run(control_->Paste());
}

void EditorWindow::OnDelete() {
  Run(control_->DeleteSelect());
}
void EditorWindow::OnTrim() {
  Run(control_->Trim());
}

void EditorWindow::OnSelectAll() {
  ComPtr<IEditorPosition> position;
  if (com::Failed(control_->get_Position(position.Out())) || !position) return;
  int64_t total = 0;
  position->get_TotalSamples(&total);
  // Selected first: without it the ends would only place the cursor.
  position->put_Selected(com::VARIANT_TRUE);
  position->put_StartSelect(0);
  Run(position->put_EndSelect(total));
}

void EditorWindow::OnZoomIn() {
  Run(control_->ZoomIn());
}
void EditorWindow::OnZoomOut() {
  Run(control_->ZoomOut());
}
void EditorWindow::OnZoomFull() {
  Run(control_->ZoomFull());
}
void EditorWindow::OnPlay() {
  Run(control_->Play(0, 0));
}

void EditorWindow::OnPause() {
  int32_t status = 0;
  control_->get_Status(&status);
  Run(status == status::kPlayPaused ? control_->Continue() : control_->Pause());
}

void EditorWindow::OnStop() {
  Run(control_->Stop());
}

void EditorWindow::OnCancel() {
  control_->Stop();
}

void EditorWindow::OnEffect(std::string_view id) {
  const Effect* effect = nullptr;
  for (const Effect& e : kEffects)
    if (e.id == id) effect = &e;
  if (!effect || !editor_->Model().IsOpen()) return;

  // The dialog: one row per parameter, OK and Cancel.
  GtkWidget* dialog = gtk_window_new();
  const std::string title(effect->title);
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_transient_for(GTK_WINDOW(dialog), window_);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
  for (GtkWidget* w : {grid}) {
    gtk_widget_set_margin_start(w, 18);
    gtk_widget_set_margin_end(w, 18);
    gtk_widget_set_margin_top(w, 18);
    gtk_widget_set_margin_bottom(w, 12);
  }
  std::vector<GtkWidget*> inputs;
  int row = 0;
  for (const EffectParameter& p : effect->parameters) {
    const std::string label(p.label);
    GtkWidget* input = nullptr;
    if (p.toggle) {
      input = gtk_check_button_new_with_label(label.c_str());
      gtk_check_button_set_active(GTK_CHECK_BUTTON(input), p.initial != 0);
      gtk_grid_attach(GTK_GRID(grid), input, 0, row, 2, 1);
    } else {
      GtkWidget* caption = gtk_label_new(label.c_str());
      gtk_label_set_xalign(GTK_LABEL(caption), 0);
      gtk_grid_attach(GTK_GRID(grid), caption, 0, row, 1, 1);
      input = gtk_spin_button_new_with_range(p.minimum, p.maximum, p.step);
      gtk_spin_button_set_digits(GTK_SPIN_BUTTON(input), static_cast<guint>(p.digits));
      gtk_spin_button_set_value(GTK_SPIN_BUTTON(input), p.initial);
      gtk_grid_attach(GTK_GRID(grid), input, 1, row, 1, 1);
    }
    inputs.push_back(input);
    ++row;
  }
  struct Answer {
    GMainLoop* loop;
    bool ok;
  } answer{g_main_loop_new(nullptr, FALSE), false};
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_halign(buttons, GTK_ALIGN_END);
  GtkWidget* cancel = gtk_button_new_with_mnemonic("_Cancel");
  GtkWidget* ok = gtk_button_new_with_mnemonic("_OK");
  g_signal_connect(cancel, "clicked", G_CALLBACK(+[](GtkButton*, gpointer a) {
                     g_main_loop_quit(static_cast<Answer*>(a)->loop);
                   }),
                   &answer);
  g_signal_connect(ok, "clicked", G_CALLBACK(+[](GtkButton*, gpointer a) {
                     static_cast<Answer*>(a)->ok = true;
                     g_main_loop_quit(static_cast<Answer*>(a)->loop);
                   }),
                   &answer);
  gtk_box_append(GTK_BOX(buttons), cancel);
  gtk_box_append(GTK_BOX(buttons), ok);
  gtk_grid_attach(GTK_GRID(grid), buttons, 0, row, 2, 1);
  gtk_window_set_child(GTK_WINDOW(dialog), grid);
  gtk_window_set_default_widget(GTK_WINDOW(dialog), ok);
  WaitFor(GTK_WINDOW(dialog), answer.loop);

  std::vector<com::Variant> values;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const EffectParameter& p = effect->parameters[i];
    if (p.toggle)
      values.push_back(
          com::Variant::Bool(gtk_check_button_get_active(GTK_CHECK_BUTTON(inputs[i]))));
    else
      values.push_back(com::Variant::R8(gtk_spin_button_get_value(GTK_SPIN_BUTTON(inputs[i]))));
  }
  gtk_window_destroy(GTK_WINDOW(dialog));
  g_main_loop_unref(answer.loop);
  if (!answer.ok) return;

  // The member by name, so that the table alone describes an effect.
  ComPtr<IEditorTransform> transform;
  if (com::Failed(control_->get_Transform(transform.Out())) || !transform) return;
  std::u16string member(effect->member);
  com::OLECHAR* names[] = {member.data()};
  DISPID dispid = 0;
  if (com::Failed(transform->GetIDsOfNames(com::GUID_NULL, names, 1, 0, &dispid))) return;
  std::vector<com::VARIANT> reversed(values.rbegin(), values.rend());
  com::DISPPARAMS params{reversed.data(), nullptr, static_cast<uint32_t>(reversed.size()), 0};
  com::Variant result;
  com::EXCEPINFO excep{};
  uint32_t argError = 0;
  HRESULT hr = transform->Invoke(dispid, com::GUID_NULL, 0, com::DISPATCH_METHOD, &params, &result,
                                 &excep, &argError);
  if (hr == com::DISP_E_EXCEPTION) {
    // The description travels in the exception structure; put it where ShowError looks.
    if (excep.scode) hr = excep.scode;
    com::SysFreeString(excep.bstrDescription);
    com::SysFreeString(excep.bstrSource);
    com::SysFreeString(excep.bstrHelpFile);
  }
  Run(hr);
}

// ---- events ----

void EditorWindow::OnEvent(DISPID id, com::DISPPARAMS* params) {
  switch (static_cast<AudioEditorEventsId>(id)) {
    case AudioEditorEventsId::BlockOperation: {
      int percent = 0;
      if (params && params->cArgs > 0) {
        com::Variant value;
        if (com::Succeeded(com::VariantChangeType(&value, &params->rgvarg[0], 0, com::VT_I4)))
          percent = value.lVal;
      }
      OnProgress(percent);
      break;
    }
    case AudioEditorEventsId::EndOperation:
      SetBusy(false);
      Refresh();
      break;
    case AudioEditorEventsId::ChangePosition:
    case AudioEditorEventsId::EndPlay:
      Refresh();
      break;
    default:
      break;
  }
}

void EditorWindow::OnProgress(int percent) {
  SetBusy(true);
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), std::clamp(percent, 0, 100) / 100.0);
  // The operation runs inside the call that started it: let the window answer
  // (Cancel included) between its blocks.
  for (int i = 0; i < 64 && g_main_context_pending(nullptr); ++i)
    g_main_context_iteration(nullptr, FALSE);
}

void EditorWindow::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  gtk_widget_set_visible(progressRow_, busy);
  if (!busy) gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), 0);
  UpdateActions();
}

// ---- what the window shows ----

void EditorWindow::Refresh() {
  UpdateTitle();
  UpdateStatus();
  UpdateActions();
  UpdateUndoLabels();
  WriteReport();
}

void EditorWindow::UpdateTitle() {
  std::string title = kAppTitle;
  if (editor_->Model().IsOpen()) {
    const std::string name =
        path_.empty() ? "Untitled" : std::filesystem::path(path_).filename().string();
    title = (Modified() ? "*" : "") + name + " - " + kAppTitle;
  }
  gtk_window_set_title(window_, title.c_str());
}

void EditorWindow::UpdateStatus() {
  if (!editor_->Model().IsOpen()) {
    gtk_label_set_text(GTK_LABEL(status_), "No document");
    return;
  }
  ComPtr<IEditorPosition> position;
  ComPtr<IEditorFileInfo> info;
  control_->get_Position(position.Out());
  control_->get_FileInfo(info.Out());
  int64_t start = 0, end = 0, total = 0;
  int32_t rate = 0;
  com::Bstr format;
  if (position) {
    position->get_StartSelect(&start);
    position->get_EndSelect(&end);
    position->get_TotalSamples(&total);
  }
  if (info) {
    info->get_SampleRate(&rate);
    info->get_FormatString(format.Out());
  }
  char text[512];
  std::snprintf(text, sizeof text,
                "Selection %s – %s (%s)   %" PRId64 " – %" PRId64 " of %" PRId64 " samples   %s",
                Seconds(start, rate).c_str(), Seconds(end, rate).c_str(),
                Seconds(end - start, rate).c_str(), start, end, total, format.utf8().c_str());
  gtk_label_set_text(GTK_LABEL(status_), text);
}

void EditorWindow::UpdateActions() {
  const bool open = editor_->Model().IsOpen();
  int32_t status = 0;
  control_->get_Status(&status);
  const bool idle = !busy_ && (status == status::kIdle || status == status::kPlayPaused);
  com::VARIANT_BOOL undo = 0, redo = 0;
  control_->get_UndoEnabled(&undo);
  control_->get_RedoEnabled(&redo);
  auto enable = [&](const char* name, bool on) {
    GAction* action = g_action_map_lookup_action(G_ACTION_MAP(window_), name);
    if (action) g_simple_action_set_enabled(G_SIMPLE_ACTION(action), on);
  };
  const bool playing = status == status::kPlaying || status == status::kPlayPaused;
  enable("open", !busy_);
  enable("quit", !busy_);
  for (const char* name : {"save", "save-as", "close", "copy", "cut", "paste", "delete", "trim",
                           "select-all", "effect"})
    enable(name, open && idle && status == status::kIdle);
  enable("undo", open && idle && status == status::kIdle && undo);
  enable("redo", open && idle && status == status::kIdle && redo);
  for (const char* name : {"zoom-in", "zoom-out", "zoom-full"})
    enable(name, open && !busy_);
  enable("play", open && !busy_);
  enable("pause", open && playing);
  enable("stop", open && (playing || busy_));
  gtk_widget_set_sensitive(host_ ? host_->Widget() : nullptr, !busy_);
}

void EditorWindow::UpdateUndoLabels() {
  if (!undoSection_) return;
  std::string undo = "_Undo", redo = "_Redo";
  if (control_ && editor_->Model().IsOpen()) {
    const std::vector<int32_t> undos = UndoCodes(false), redos = UndoCodes(true);
    // The lists hold the most recent operation first.
    if (!undos.empty()) undo += " " + OperationName(undos.front());
    if (!redos.empty()) redo += " " + OperationName(redos.front());
  }
  g_menu_remove_all(undoSection_);
  g_menu_append(undoSection_, undo.c_str(), "win.undo");
  g_menu_append(undoSection_, redo.c_str(), "win.redo");
}

void EditorWindow::WriteReport() {
  if (options_.report.empty()) return;
  int64_t start = 0, end = 0, total = 0, viewStart = 0, viewEnd = 0;
  com::VARIANT_BOOL selected = 0;
  if (ComPtr<IEditorPosition> position; editor_->Model().IsOpen() &&
                                        com::Succeeded(control_->get_Position(position.Out())) &&
                                        position) {
    position->get_StartSelect(&start);
    position->get_EndSelect(&end);
    position->get_TotalSamples(&total);
    position->get_StartView(&viewStart);
    position->get_EndView(&viewEnd);
    position->get_Selected(&selected);
  }
  int32_t status = 0;
  control_->get_Status(&status);
  // Where the picture is in the window's own coordinates (what xdotool calls
  // window-relative).
  double ax = 0, ay = 0, sx = 0, sy = 0;
  GtkWidget* area = host_->Widget();
  if (GtkNative* native = gtk_widget_get_native(area)) {
    gtk_widget_translate_coordinates(area, GTK_WIDGET(native), 0, 0, &ax, &ay);
    gtk_native_get_surface_transform(native, &sx, &sy);
  }
  const std::vector<int32_t> undos =
      editor_->Model().IsOpen() ? UndoCodes(false) : std::vector<int32_t>{};
  char numbers[512];
  std::snprintf(
      numbers, sizeof numbers,
      "\"start\": %" PRId64 ", \"end\": %" PRId64 ", \"selected\": %s, \"total\": %" PRId64
      ", \"view_start\": %" PRId64 ", \"view_end\": %" PRId64
      ", \"status\": %d, \"undo\": %zu, \"busy\": %s, \"modified\": %s"
      ", \"buttons\": %u, \"area\": [%d, %d, %d, %d]",
      start, end, selected ? "true" : "false", total, viewStart, viewEnd, status, undos.size(),
      busy_ ? "true" : "false", Modified() ? "true" : "false", host_->ButtonsDown(),
      static_cast<int>(ax + sx), static_cast<int>(ay + sy), host_->Width(), host_->Height());
  const char* title = gtk_window_get_title(window_);
  const std::string json = "{\"title\": " + JsonString(title ? title : "") +
                           ", \"path\": " + JsonString(path_) + ", " + numbers + "}\n";
  // Written whole and renamed, so that a reader never sees half of it.
  const std::string temp = options_.report + ".part";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << json;
  }
  std::rename(temp.c_str(), options_.report.c_str());
}

void EditorWindow::WriteSnapshot() {
  GtkWidget* widget = GTK_WIDGET(window_);
  const int width = gtk_widget_get_width(widget), height = gtk_widget_get_height(widget);
  GskRenderer* renderer = gtk_native_get_renderer(GTK_NATIVE(window_));
  if (width <= 0 || height <= 0 || !renderer) return;
  GdkPaintable* paintable = gtk_widget_paintable_new(widget);
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable, snapshot, width, height);
  GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
  g_object_unref(paintable);
  if (!node) return;
  const graphene_rect_t bounds =
      GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
  GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &bounds);
  gsk_render_node_unref(node);
  const std::string temp = options_.snapshot + ".part";
  const bool saved = gdk_texture_save_to_png(texture, temp.c_str());
  g_object_unref(texture);
  if (saved) std::rename(temp.c_str(), options_.snapshot.c_str());
}

}  // namespace qel::gtkhost
