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
#include "core/errors.h"
#include "document/codes.h"
#include "effect_arguments.h"
#include "effect_table.h"
#include "external/media.h"
#include "form_dialog.h"
#include "preferences.h"

namespace qel::gtkhost {

using com::ComPtr;
using com::DISPID;
using com::HRESULT;

namespace {

// Names of the operations the undo and redo items show.
std::string OperationName(int32_t code) {
  using namespace opcode;
  static constexpr std::pair<int32_t, std::string_view> kNames[] = {
      {kRecord, "Record"},
      {kPutAudioArray, "Audio Data"},
      {kPaste, "Paste"},
      {kPasteFromFile, "Paste from File"},
      {kMix, "Mix"},
      {kMixFromFile, "Mix"},
      {kConvertSampleType, "Convert"},
      {kResample, "Resample"},
      {kPitchShift, "Pitch Shift"},
      {kTimeStretch, "Time Stretch"},
      {kTrim, "Trim"},
      {kDeleteSilence, "Delete Silence"},
      {kMixChannels, "Mix Channels"},
      {kSilence, "Silence"},
      {kReverse, "Reverse"},
      {kInvert, "Invert"},
      {kAmplify, "Amplify"},
      {kFade, "Fade"},
      {kNormalize, "Normalize"},
      {kVibrato, "Vibrato"},
      {kEnvelope, "Envelope"},
      {kCompressor, "Compressor"},
      {kExpander, "Expander"},
      {kDelay, "Delay"},
      {kFlanger, "Flanger"},
      {kChorus, "Chorus"},
      {kPhaser, "Phaser"},
      {kReverb, "Reverb"},
      {kLowPassFilter, "Low-pass Filter"},
      {kHighPassFilter, "High-pass Filter"},
      {kBandPassFilter, "Band-pass Filter"},
      {kNotchFilter, "Notch Filter"},
      {kPeakEqFilter, "Peaking EQ"},
      {kEqualizer, "Equalizer"},
      {kLowShelfFilter, "Low Shelf"},
      {kHighShelfFilter, "High Shelf"},
      {kFftFilter, "FFT Filter"},
      {kFirFilter, "FIR Filter"},
      {kNoiseRemove, "Noise Removal"},
      {kWahWah, "Wah-wah"},
      {kGenerateSilence, "Generate Silence"},
      {kGenerateNoise, "Generate Noise"},
      {kGenerateSignal, "Generate Tone"},
      {kGenerateChirp, "Generate Chirp"},
      {kGenerateDtmfSignal, "Generate DTMF Tones"},
      {kDxProcess, "Plug-in"},
      {kVstProcess, "Plug-in"},
      {kBatchProcess, "Batch"},
      {kDeleteSelect, "Delete"},
      {kCut, "Cut"},
  };
  for (const auto& [known, name] : kNames)
    if (known == code) return std::string(name);
  return "Operation";
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

// A path's last part, quoted, as messages name a file.
std::string FileName(const std::string& path) {
  return "\"" + std::filesystem::path(path).filename().string() + "\"";
}

std::string Seconds(int64_t frames, int32_t rate) {
  if (rate <= 0) return "0.000 s";
  char text[48];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(frames) / rate);
  return text;
}

// A marker as the markers object lists it.
struct MarkerRow {
  int64_t position = 0;
  int64_t length = 0;
  std::string label;
};

// Every marker, in the list's order; the object's current number is kept.
std::vector<MarkerRow> ReadMarkers(IEditorMarkers* markers) {
  std::vector<MarkerRow> rows;
  int32_t count = 0, current = 0;
  markers->get_Count(&count);
  markers->get_Num(&current);
  for (int32_t n = 1; n <= count; ++n) {
    markers->put_Num(n);
    MarkerRow row;
    com::Bstr label;
    markers->get_Position(&row.position);
    markers->get_Length(&row.length);
    markers->get_Label(label.Out());
    row.label = label.utf8();
    rows.push_back(std::move(row));
  }
  if (count > 0) markers->put_Num(current);
  return rows;
}

}  // namespace

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
  // Cancel in the progress row stops through the control's Stop; with this
  // set, a stopped effect keeps nothing (no step, the redo list as it was)
  // instead of keeping the blocks it processed.
  com::Variant discard;
  discard.vt = com::VT_BOOL;
  discard.boolVal = com::VARIANT_TRUE;
  control_->SetAdditionalParam(com::Bstr::FromUtf8("StopDiscardsEffects").get(), discard);

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
  SetUpSession(app);
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
  cancel_ = gtk_button_new_with_label("Cancel");
  g_signal_connect_swapped(cancel_, "clicked",
                           G_CALLBACK(+[](EditorWindow* self) { self->OnCancel(); }), this);
  gtk_box_append(GTK_BOX(progressRow_), cancel_);
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
  if (dropSignal_) g_source_remove(dropSignal_);
  if (point_ && cookie_) point_->Unadvise(cookie_);
  control_->Stop();
  control_->Close();
  if (Picture* view = editor_->Waveform()) view->AttachWindow(nullptr);
  // Give the control back its headless services before the desktop ones go.
  editor_->SetPlatform(platform::MakeHeadlessPlatform());
}

struct ActionEntry {
  const char* name;
  void (EditorWindow::*run)();
  const char* accels[3];
};

void EditorWindow::BuildActions(GtkApplication* app) {
  using W = EditorWindow;
  const ActionEntry actions[] = {
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
      {"record", &W::OnRecord, {"<Control>r"}},
      {"preferences", &W::OnPreferences, {"<Control>comma"}},
      {"marker-add", &W::OnAddMarker, {"<Control>m"}},
      {"markers", &W::OnMarkers, {"<Control><Shift>m"}},
      {"convert", &W::OnConvert, {}},
      {"plugins", &W::OnPlugins, {"<Control><Shift>p"}},
  };
  for (const ActionEntry& entry : actions) {
    GSimpleAction* action = g_simple_action_new(entry.name, nullptr);
    slots_.push_back(std::make_unique<ActionSlot>(ActionSlot{this, entry.run}));
    g_signal_connect(action, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer data) {
                       auto* slot = static_cast<ActionSlot*>(data);
                       (slot->self->*slot->run)();
                     }),
                     slots_.back().get());
    g_action_map_add_action(G_ACTION_MAP(window_), G_ACTION(action));
    g_object_unref(action);
    const std::string detailed = std::string("win.") + entry.name;
    const char* accels[4] = {entry.accels[0], entry.accels[1], entry.accels[2], nullptr};
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
  section(file, {{"_Open…", "win.open"}});
  recentMenu_ = g_menu_new();
  g_menu_append_submenu(file, "Open _Recent", G_MENU_MODEL(recentMenu_));
  g_object_unref(recentMenu_);  // the file menu keeps it
  section(file, {{"_Save", "win.save"}, {"Save _As…", "win.save-as"}});
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
  section(edit, {{"Pr_eferences…", "win.preferences"}});
  g_menu_append_submenu(bar, "_Edit", G_MENU_MODEL(edit));
  g_object_unref(edit);

  GMenu* view = g_menu_new();
  section(view, {{"Zoom _In", "win.zoom-in"},
                 {"Zoom _Out", "win.zoom-out"},
                 {"Zoom to _Fit", "win.zoom-full"}});
  g_menu_append_submenu(bar, "_View", G_MENU_MODEL(view));
  g_object_unref(view);

  GMenu* effects = g_menu_new();
  GMenu* groups = g_menu_new();
  for (size_t m = 0; m < kEffectMenuTitles.size(); ++m) {
    GMenu* group = g_menu_new();
    for (const Effect& e : kEffects) {
      if (static_cast<size_t>(e.menu) != m) continue;
      // An effect without a dialog applies at once: no ellipsis.
      const std::string label = std::string(e.title) + (e.parameters.empty() ? "" : "…");
      const std::string action = "win.effect::" + std::string(e.id);
      g_menu_append(group, label.c_str(), action.c_str());
    }
    g_menu_append_submenu(groups, std::string(kEffectMenuTitles[m]).c_str(), G_MENU_MODEL(group));
    g_object_unref(group);
  }
  g_menu_append_section(effects, nullptr, G_MENU_MODEL(groups));
  g_object_unref(groups);
  section(effects, {{"_Plug-ins…", "win.plugins"}, {"Con_vert Sample Type…", "win.convert"}});
  g_menu_append_submenu(bar, "Effe_cts", G_MENU_MODEL(effects));
  g_object_unref(effects);

  GMenu* markers = g_menu_new();
  section(markers, {{"_Add Marker", "win.marker-add"}, {"_Markers…", "win.markers"}});
  g_menu_append_submenu(bar, "_Markers", G_MENU_MODEL(markers));
  g_object_unref(markers);

  GMenu* play = g_menu_new();
  section(play, {{"_Play", "win.play"},
                 {"_Record", "win.record"},
                 {"P_ause", "win.pause"},
                 {"_Stop", "win.stop"}});
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
      {"media-record-symbolic", "win.record"},
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

void EditorWindow::ShowError(HRESULT hr, std::string_view context) {
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
  // The control's descriptions are short ("File access error."): say what
  // was being done, and to which file, before them.
  if (!context.empty()) text = std::string(context) + "\n" + text;
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

bool EditorWindow::Run(HRESULT hr, std::string_view context) {
  SetBusy(false);
  const bool ok = com::Succeeded(hr);
  if (!ok) ShowError(hr, context);
  Refresh();
  return ok;
}

std::string EditorWindow::Version() const {
  // The sample file of the current history step: each edit makes a new one,
  // and there is none while no document is open.
  ComPtr<IEditorFileInfo> info;
  com::Bstr name;
  if (control_ && com::Succeeded(control_->get_FileInfo(info.Out())) && info)
    info->get_TempFileName(name.Out());
  return name.utf8();
}

bool EditorWindow::DocumentOpen() const {
  return !Version().empty();
}

bool EditorWindow::Modified() const {
  return DocumentOpen() && Version() != savedVersion_;
}

bool EditorWindow::OpenPath(const std::string& path) {
  return Readable(path) && ConfirmDiscard() && Load(path);
}

bool EditorWindow::Readable(const std::string& path) {
  // The control lets the open document go before it reads a new one, so a
  // file it cannot read would leave an empty window. The media component is
  // asked first: a file it refuses leaves the document as it is, and nothing
  // is asked about unsaved changes. What it accepts, the control then reads.
  ComPtr<IMediaFile> probe;
  if (com::Failed(com::CoCreateInstance(CLSID_VideoFile, nullptr, com::CLSCTX_INPROC_SERVER,
                                        IMediaFile::kIID, probe.OutVoid())))
    return true;  // the control will say what is missing
  int32_t result = 0;
  if (com::Failed(probe->OpenFile(com::Bstr::FromUtf8(path).get(), &result))) return true;
  if (result == 0) {
    probe->CloseFile();
    return true;
  }
  // The control's message for the component's answer, as an open would give it.
  ShowError(RaiseComponentResult(result), "Cannot open " + FileName(path) + ".");
  Refresh();
  return false;
}

bool EditorWindow::Load(const std::string& path) {
  const HRESULT hr = control_->OpenFile(com::Bstr::FromUtf8(path).get(), -1, 0, 0, 0, 0, 0);
  SetBusy(false);
  if (com::Failed(hr) || !DocumentOpen()) {
    if (com::Failed(hr)) ShowError(hr, "Cannot open " + FileName(path) + ".");
    // The control lets the old document go before it reads the new one.
    if (!DocumentOpen()) {
      path_.clear();
      savedVersion_.clear();
    }
    // The picture still shows the document that was let go.
    host_->Invalidate();
    Refresh();
    return false;
  }
  path_ = path;
  savedVersion_ = Version();
  RememberFile(path);
  Refresh();
  return true;
}

SampleType EditorWindow::CurrentSampleType() const {
  SampleType type;
  ComPtr<IEditorFileInfo> info;
  if (control_ && com::Succeeded(control_->get_FileInfo(info.Out())) && info) {
    info->get_SampleRate(&type.rate);
    info->get_Channels(&type.channels);
    info->get_SampleSize(&type.bits);
  }
  return type;
}

namespace {

// The media component's format object for a sample type, as the control takes
// it for saving.
ComPtr<IAudioFormat> MakeAudioFormat(const SampleType& type) {
  ComPtr<IAudioFormat> format;
  if (com::Failed(com::CoCreateInstance(CLSID_AudioFormat, nullptr, com::CLSCTX_INPROC_SERVER,
                                        IAudioFormat::kIID, format.OutVoid())))
    return {};
  format->put_FormatTag(1);  // integer PCM
  format->put_SampleRate(type.rate);
  format->put_Channels(type.channels);
  format->put_SampleSize(type.bits);
  // The usual speakers for the count: mono is front centre, more start front left and right.
  format->put_ChannelsMask(type.channels == 1 ? 4 : (type.channels == 2 ? 3 : 0));
  return format;
}

}  // namespace

bool EditorWindow::SaveTo(const std::string& path, const SampleType* type) {
  int32_t fileType = FileTypeOf(path);
  if (type) {
    // A chosen format needs a type to go with it: the extension's, else the
    // type the document was read from.
    ComPtr<IEditorFileInfo> info;
    if (fileType == 0 && com::Succeeded(control_->get_FileInfo(info.Out())) && info)
      info->get_OriginalFileType(&fileType);
    ComPtr<IAudioFormat> format = MakeAudioFormat(*type);
    if (!format || !info) control_->get_FileInfo(info.Out());
    if (!format || !info || fileType <= 0 || com::Failed(info->put_AudioFormat(format.get()))) {
      boxes_->Show(kAppTitle, "The file cannot be saved in that format.",
                   platform::MB_OK | platform::MB_ICONSTOP);
      return false;
    }
  } else if (fileType > 0) {
    // Without a choice the document's own format, not one chosen for an earlier save.
    ComPtr<IEditorFileInfo> info;
    if (control_ && com::Succeeded(control_->get_FileInfo(info.Out())) && info)
      if (ComPtr<IAudioFormat> format = MakeAudioFormat(CurrentSampleType()))
        info->put_AudioFormat(format.get());
  }
  const std::string part = path + ".part";
  cancelled_ = false;
  const HRESULT hr =
      control_->SaveFile(com::Bstr::FromUtf8(part).get(), com::VARIANT_FALSE, 0, fileType);
  std::error_code ignored;
  if (com::Failed(hr) || cancelled_) {
    std::filesystem::remove(part, ignored);
    cancelled_ = false;
    Run(hr, "Cannot save " + FileName(path) + ".");
    return false;
  }
  std::filesystem::rename(part, path, ignored);
  if (ignored) {
    std::filesystem::remove(part, ignored);
    boxes_->Show(kAppTitle, "The file cannot be written: " + path,
                 platform::MB_OK | platform::MB_ICONSTOP);
    Refresh();
    return false;
  }
  path_ = path;
  savedVersion_ = Version();
  RememberFile(path);
  Run(hr);
  return true;
}

bool EditorWindow::ConfirmDiscard() {
  if (!Modified()) return true;
  const std::string name = path_.empty() ? "\"Untitled\"" : FileName(path_);
  const int answer = boxes_->Show(kAppTitle, "Save the changes to " + name + " first?",
                                  platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION);
  if (answer == platform::IDCANCEL) return false;
  if (answer == platform::IDYES) {
    if (path_.empty()) return false;  // Save As first
    return SaveTo(path_);
  }
  return true;
}

// ---- commands ----

void EditorWindow::ChooseFile(const char* title, GtkFileChooserAction action,
                              std::function<void(const std::string&)> done) {
  if (!options_.chooserAnswer.empty()) {
    done(options_.chooserAnswer);
    return;
  }
  const bool saving = action == GTK_FILE_CHOOSER_ACTION_SAVE;
  GtkFileChooserNative* chooser =
      gtk_file_chooser_native_new(title, window_, action, saving ? "_Save" : "_Open", "_Cancel");
  if (saving && !path_.empty()) {
    GFile* current = g_file_new_for_path(path_.c_str());
    gtk_file_chooser_set_file(GTK_FILE_CHOOSER(chooser), current, nullptr);
    g_object_unref(current);
  }
  using Done = std::function<void(const std::string&)>;
  g_signal_connect_data(
      chooser, "response", G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
        if (response == GTK_RESPONSE_ACCEPT) {
          GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
          if (char* path = file ? g_file_get_path(file) : nullptr) {
            (*static_cast<Done*>(data))(path);
            g_free(path);
          }
          if (file) g_object_unref(file);
        }
        g_object_unref(dialog);
      }),
      new Done(std::move(done)), +[](gpointer data, GClosure*) { delete static_cast<Done*>(data); },
      GConnectFlags{});
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void EditorWindow::OnOpen() {
  // Asked about unsaved changes once the file is known to be readable.
  ChooseFile("Open Audio File", GTK_FILE_CHOOSER_ACTION_OPEN,
             [this](const std::string& path) { OpenPath(path); });
}

void EditorWindow::OnSave() {
  if (!DocumentOpen()) return;
  if (path_.empty()) {
    OnSaveAs();
    return;
  }
  SaveTo(path_);
}

void EditorWindow::OnSaveAs() {
  if (!DocumentOpen()) return;
  ChooseFile("Save Audio File", GTK_FILE_CHOOSER_ACTION_SAVE, [this](const std::string& path) {
    SampleType type = CurrentSampleType();
    if (AskSampleType("Save As " + std::filesystem::path(path).filename().string(), type))
      SaveTo(path, &type);
  });
}

bool EditorWindow::AskSampleType(const std::string& title, SampleType& type) {
  FormDialog dialog(window_, title);
  GtkWidget* rate = dialog.AddSpin("Sample _rate (Hz)", 1000, 384000, type.rate, 1);
  GtkWidget* bits = dialog.AddSpin("Sample _size (bits)", 8, 32, type.bits, 8);
  // Only whole bytes: a typed 20 becomes 16 or 24.
  gtk_spin_button_set_snap_to_ticks(GTK_SPIN_BUTTON(bits), TRUE);
  GtkWidget* channels = dialog.AddSpin("_Channels", 1, 8, type.channels, 1);
  if (!dialog.Run()) return false;
  type.rate = static_cast<int32_t>(FormDialog::SpinValue(rate));
  type.bits = static_cast<int32_t>(FormDialog::SpinValue(bits));
  type.channels = static_cast<int32_t>(FormDialog::SpinValue(channels));
  return true;
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
  if (!DocumentOpen()) return;
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

void EditorWindow::SelectAllWhenNothingIs() {
  ComPtr<IEditorPosition> position;
  com::VARIANT_BOOL selected = 0;
  if (com::Succeeded(control_->get_Position(position.Out())) && position &&
      com::Succeeded(position->get_Selected(&selected)) && !selected)
    OnSelectAll();
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
  Run(status == status::kPlayPaused || status == status::kRecordPaused ? control_->Continue()
                                                                       : control_->Pause());
}

void EditorWindow::OnStop() {
  Run(control_->Stop());
}

void EditorWindow::OnCancel() {
  // Called from inside the operation's progress event. An effect stopped so
  // keeps nothing ("StopDiscardsEffects" above): no step, and the redo list stays.
  cancelled_ = busy_;
  control_->Stop();
}

void EditorWindow::OnEffect(std::string_view id) {
  const Effect* effect = nullptr;
  for (const Effect& e : kEffects)
    if (e.id == id) effect = &e;
  if (!effect || !DocumentOpen()) return;
  if (effect->tempo) {
    AnalyseTempo(*effect);
    return;
  }
  if (effect->dtmf) control_->put_DTMFEnabled(com::VARIANT_TRUE);
  std::vector<com::Variant> arguments;
  // An effect runs over the selection, or over everything when nothing is
  // selected; a generator without a selection inserts at the cursor.
  const bool generator = effect->menu == EffectMenu::kGenerate;
  if (effect->parameters.empty()) {
    if (!generator) SelectAllWhenNothingIs();
    // Nothing to ask: it applies at once.
    RunCancellable([&] { return CallTransform(effect->member, arguments); });
    return;
  }

  // The dialog: one field per parameter shown, OK and Cancel (and Preview).
  const int32_t channels = CurrentSampleType().channels;
  FormDialog dialog(window_, std::string(effect->title));
  std::vector<GtkWidget*> inputs;
  for (const EffectParameter& p : effect->parameters) {
    const std::string label(p.label);
    const FieldValue initial = InitialField(p, channels);
    GtkWidget* input = nullptr;
    switch (p.kind) {
      case ParameterKind::kNumber:
      case ParameterKind::kWhole:
        input = dialog.AddSpin(label, p.minimum, p.maximum, initial.number, p.step, p.digits);
        break;
      case ParameterKind::kToggle:
        input = dialog.AddCheck(label, initial.on);
        break;
      case ParameterKind::kChoice: {
        std::vector<std::string> items;
        for (const Choice& c : p.choices)
          items.emplace_back(c.label);
        input = dialog.AddChoice(label, items, initial.choice);
        break;
      }
      case ParameterKind::kText:
      case ParameterKind::kNumberList:
      case ParameterKind::kWholeList:
      case ParameterKind::kGainMatrix:
        input = dialog.AddEntry(label, initial.text);
        break;
      case ParameterKind::kFixed:
      case ParameterKind::kFixedNumber:
        break;  // not shown: its value is the row's
    }
    inputs.push_back(input);
  }
  // The arguments from what the fields hold now, or the reason they cannot be sent.
  auto read = [&](std::vector<com::Variant>& out) -> std::string {
    std::vector<FieldValue> fields;
    for (size_t k = 0; k < inputs.size(); ++k) {
      FieldValue field = InitialField(effect->parameters[k], channels);
      switch (effect->parameters[k].kind) {
        case ParameterKind::kNumber:
        case ParameterKind::kWhole:
          field.number = FormDialog::SpinValue(inputs[k]);
          break;
        case ParameterKind::kToggle:
          field.on = FormDialog::CheckValue(inputs[k]);
          break;
        case ParameterKind::kChoice:
          field.choice = FormDialog::ChoiceIndex(inputs[k]);
          break;
        case ParameterKind::kFixed:
        case ParameterKind::kFixedNumber:
          break;
        default:
          field.text = FormDialog::EntryText(inputs[k]);
          break;
      }
      fields.push_back(std::move(field));
    }
    EffectArguments built = BuildArguments(effect->parameters, fields, channels);
    out = std::move(built.values);
    notice_ = built.error;
    WriteReport();
    return built.error;
  };
  dialog.SetCheck([&] {
    std::vector<com::Variant> unused;
    return read(unused);
  });
  if (effect->preview && HasPlaybackDevice()) {
    dialog.AddButton("_Preview", [&] {
      std::vector<com::Variant> heard;
      if (read(heard).empty())
        PreviewEffect(*effect, heard);
      else
        dialog.ShowNotice(notice_);
    });
    // Esc ends a preview, as it does in the main window.
    dialog.SetEscape([this] { OnStop(); });
  }
  const bool ok = dialog.Run();
  // A preview still playing ends with the dialog.
  int32_t status = 0;
  control_->get_Status(&status);
  if (status != status::kIdle) control_->Stop();
  notice_.clear();
  Refresh();
  if (!ok || !read(arguments).empty()) return;
  notice_.clear();
  if (!generator) SelectAllWhenNothingIs();
  RunCancellable([&] { return CallTransform(effect->member, arguments); });
}

HRESULT EditorWindow::CallTransform(std::u16string_view member,
                                    std::vector<com::Variant>& arguments, com::VARIANT* result) {
  // The member by name, so that the table alone describes an effect.
  ComPtr<IEditorTransform> transform;
  if (com::Failed(control_->get_Transform(transform.Out())) || !transform) return com::E_FAIL;
  std::u16string name(member);
  com::OLECHAR* names[] = {name.data()};
  DISPID dispid = 0;
  if (HRESULT hr = transform->GetIDsOfNames(com::GUID_NULL, names, 1, 0, &dispid); com::Failed(hr))
    return hr;
  // Dispatch takes the arguments last first.
  std::vector<com::VARIANT> reversed(arguments.rbegin(), arguments.rend());
  com::DISPPARAMS params{reversed.data(), nullptr, static_cast<uint32_t>(reversed.size()), 0};
  com::Variant ignored;
  com::EXCEPINFO excep{};
  uint32_t argError = 0;
  HRESULT hr = transform->Invoke(dispid, com::GUID_NULL, 0, com::DISPATCH_METHOD, &params,
                                 result ? result : &ignored, &excep, &argError);
  if (hr == com::DISP_E_EXCEPTION) {
    // The description travels in the exception structure; put it where ShowError looks.
    if (excep.scode) hr = excep.scode;
    com::SysFreeString(excep.bstrDescription);
    com::SysFreeString(excep.bstrSource);
    com::SysFreeString(excep.bstrHelpFile);
  }
  return hr;
}

void EditorWindow::PreviewEffect(const Effect& effect, std::vector<com::Variant>& arguments) {
  if (effect.menu != EffectMenu::kGenerate) SelectAllWhenNothingIs();
  // A preview already playing starts again with the new values.
  int32_t status = 0;
  control_->get_Status(&status);
  if (status != status::kIdle) control_->Stop();
  control_->put_PreviewMode(1);
  const HRESULT hr = CallTransform(effect.member, arguments);
  control_->put_PreviewMode(0);
  Run(hr);
}

void EditorWindow::AnalyseTempo(const Effect& effect) {
  SelectAllWhenNothingIs();
  std::vector<com::Variant> none;
  cancelled_ = false;
  const HRESULT hr = CallTransform(effect.member, none);
  const bool cancelled = cancelled_;
  cancelled_ = false;
  if (!Run(hr) || cancelled) return;
  std::vector<com::Variant> noArguments;
  com::Variant bpm;
  if (!Run(CallTransform(u"GetBPM", noArguments, &bpm))) return;
  com::Variant value;
  if (com::Failed(com::VariantChangeType(&value, &bpm, 0, com::VT_R8))) return;
  char text[96];
  std::snprintf(text, sizeof text, "Tempo of the selection: %.1f beats per minute", value.dblVal);
  boxes_->Show(kAppTitle, text, platform::MB_OK | platform::MB_ICONINFORMATION);
}

bool EditorWindow::HasPlaybackDevice() const {
  return !DeviceNames(control_.get(), DeviceKind::kPlayback).empty();
}

void EditorWindow::RunCancellable(const std::function<HRESULT()>& operation) {
  cancelled_ = false;
  const HRESULT hr = operation();
  cancelled_ = false;
  Run(hr);
}

// ---- markers and conversion ----

void EditorWindow::OnAddMarker() {
  ComPtr<IEditorMarkers> markers;
  ComPtr<IEditorPosition> position;
  if (!DocumentOpen() || com::Failed(control_->get_Markers(markers.Out())) ||
      com::Failed(control_->get_Position(position.Out())) || !markers || !position)
    return;
  int64_t start = 0, end = 0;
  com::VARIANT_BOOL selected = 0;
  int32_t count = 0;
  position->get_StartSelect(&start);
  position->get_EndSelect(&end);
  position->get_Selected(&selected);
  markers->get_Count(&count);
  // A selection makes a range marker, the cursor a point.
  const std::string label = "Marker " + std::to_string(count + 1);
  Run(markers->Insert(start, selected ? end - start : 0, com::Bstr::FromUtf8(label).get(),
                      com::Bstr::FromUtf8("").get()));
  host_->Invalidate();
}

void EditorWindow::JumpToMarker(int32_t number) {
  ComPtr<IEditorMarkers> markers;
  ComPtr<IEditorPosition> position;
  if (com::Failed(control_->get_Markers(markers.Out())) ||
      com::Failed(control_->get_Position(position.Out())) || !markers || !position)
    return;
  markers->put_Num(number);
  int64_t start = 0, length = 0, viewStart = 0, viewEnd = 0, total = 0;
  markers->get_Position(&start);
  markers->get_Length(&length);
  // A range marker selects its range, a point marker places the cursor.
  position->put_Selected(length > 0 ? com::VARIANT_TRUE : com::VARIANT_FALSE);
  position->put_StartSelect(start);
  position->put_EndSelect(start + length);
  // Bring it into view at the same zoom when it lies outside.
  position->get_StartView(&viewStart);
  position->get_EndView(&viewEnd);
  position->get_TotalSamples(&total);
  if (start < viewStart || start >= viewEnd) {
    const int64_t width = viewEnd - viewStart;
    const int64_t from =
        std::clamp<int64_t>(start - width / 2, 0, std::max<int64_t>(total - width, 0));
    control_->Zoom(static_cast<int32_t>(from), static_cast<int32_t>(from + width));
  }
  Refresh();
}

void EditorWindow::OnMarkers() {
  ComPtr<IEditorMarkers> markers;
  if (!DocumentOpen() || com::Failed(control_->get_Markers(markers.Out())) || !markers) return;
  enum Command { kClose, kGoTo, kRename, kDelete };
  struct State {
    GMainLoop* loop;
    Command command;
  } state{g_main_loop_new(nullptr, FALSE), kClose};

  GtkWindow* dialog = GTK_WINDOW(gtk_window_new());
  g_object_ref_sink(dialog);
  gtk_window_set_title(dialog, "Markers");
  gtk_window_set_modal(dialog, TRUE);
  gtk_window_set_transient_for(dialog, window_);
  gtk_window_set_default_size(dialog, 420, 300);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  for (auto margin : {gtk_widget_set_margin_start, gtk_widget_set_margin_end,
                      gtk_widget_set_margin_top, gtk_widget_set_margin_bottom})
    margin(box, 12);
  GtkWidget* scroller = gtk_scrolled_window_new();
  gtk_widget_set_vexpand(scroller, TRUE);
  GtkWidget* list = gtk_list_box_new();
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), list);
  gtk_box_append(GTK_BOX(box), scroller);
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_halign(buttons, GTK_ALIGN_END);
  auto button = [&](const char* label, Command command) {
    GtkWidget* b = gtk_button_new_with_mnemonic(label);
    g_object_set_data(G_OBJECT(b), "command", GINT_TO_POINTER(command));
    g_signal_connect(b, "clicked", G_CALLBACK(+[](GtkButton* b, gpointer s) {
                       auto* st = static_cast<State*>(s);
                       st->command = static_cast<Command>(
                           GPOINTER_TO_INT(g_object_get_data(G_OBJECT(b), "command")));
                       g_main_loop_quit(st->loop);
                     }),
                     &state);
    gtk_box_append(GTK_BOX(buttons), b);
  };
  button("_Go To", kGoTo);
  button("_Rename…", kRename);
  button("_Delete", kDelete);
  button("_Close", kClose);
  gtk_box_append(GTK_BOX(box), buttons);
  gtk_window_set_child(dialog, box);
  // Enter or a double click on a marker goes to it.
  g_signal_connect(list, "row-activated", G_CALLBACK(+[](GtkListBox*, GtkListBoxRow*, gpointer s) {
                     auto* st = static_cast<State*>(s);
                     st->command = kGoTo;
                     g_main_loop_quit(st->loop);
                   }),
                   &state);
  g_signal_connect(dialog, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer s) -> gboolean {
                     auto* st = static_cast<State*>(s);
                     st->command = kClose;
                     g_main_loop_quit(st->loop);
                     return TRUE;
                   }),
                   &state);

  int32_t rate = CurrentSampleType().rate;
  int chosen = 0;  // the row shown selected, 0-based
  gtk_window_present(dialog);
  for (;;) {
    while (GtkWidget* row = gtk_widget_get_first_child(list))
      gtk_list_box_remove(GTK_LIST_BOX(list), row);
    const std::vector<MarkerRow> rows = ReadMarkers(markers.get());
    const int count = static_cast<int>(rows.size());
    for (const MarkerRow& m : rows) {
      std::string text = m.label + "   " + Seconds(m.position, rate);
      if (m.length > 0) text += " – " + Seconds(m.position + m.length, rate);
      GtkWidget* caption = gtk_label_new(text.c_str());
      gtk_label_set_xalign(GTK_LABEL(caption), 0);
      gtk_list_box_append(GTK_LIST_BOX(list), caption);
    }
    chosen = std::clamp(chosen, 0, std::max(count - 1, 0));
    if (GtkListBoxRow* row = gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), chosen)) {
      gtk_list_box_select_row(GTK_LIST_BOX(list), row);
      gtk_widget_grab_focus(GTK_WIDGET(row));
    }
    g_main_loop_run(state.loop);
    GtkListBoxRow* selected = gtk_list_box_get_selected_row(GTK_LIST_BOX(list));
    if (state.command == kClose) break;
    if (!selected) continue;
    chosen = gtk_list_box_row_get_index(selected);
    const int32_t number = chosen + 1;
    if (state.command == kGoTo) {
      JumpToMarker(number);
      break;
    }
    markers->put_Num(number);
    if (state.command == kDelete) {
      Run(markers->Delete());
    } else {
      com::Bstr label;
      markers->get_Label(label.Out());
      FormDialog rename(dialog, "Rename Marker");
      GtkWidget* entry = rename.AddEntry("_Name", label.utf8());
      if (rename.Run())
        Run(markers->put_Label(com::Bstr::FromUtf8(FormDialog::EntryText(entry)).get()));
    }
    host_->Invalidate();
  }
  g_signal_handlers_disconnect_by_data(dialog, &state);
  gtk_window_destroy(dialog);
  g_object_unref(dialog);
  g_main_loop_unref(state.loop);
  host_->Invalidate();
}

void EditorWindow::OnConvert() {
  ComPtr<IEditorConvertSampleType> convert;
  if (!DocumentOpen() || com::Failed(control_->get_ConvertSampleType(convert.Out())) || !convert)
    return;
  SampleType type = CurrentSampleType();
  if (!AskSampleType("Convert Sample Type", type)) return;
  // A mask of 0 lets the control choose the usual speakers for the count.
  RunCancellable([&] { return convert->Process(type.rate, type.channels, type.bits, 0); });
}

namespace {

// One plug-in of either host, as the plug-in dialog lists it.
struct PluginEntry {
  bool lv2 = false;  // the second host (LV2), else the first (LADSPA)
  int32_t number = 0;
  std::string name;
};

template <class Host>
void ListPlugins(Host* host, bool lv2, std::vector<PluginEntry>& out) {
  int32_t count = 0;
  if (!host || com::Failed(host->get_Count(&count))) return;
  for (int32_t n = 0; n < count; ++n) {
    com::Bstr name;
    if (com::Succeeded(host->put_FilterNum(n)) && com::Succeeded(host->get_Name(name.Out())))
      out.push_back({lv2, n, name.utf8()});
  }
}

// The chosen plug-in's parameters as the host describes them.
template <class Host>
std::string PluginPage(Host* host, int32_t number) {
  com::Bstr page;
  if (com::Failed(host->put_FilterNum(number)) ||
      com::Failed(host->get_PropertyPageName(page.Out())))
    return {};
  return page.utf8();
}

// Asks for the chosen plug-in's parameters, one field each (its name, with
// its unit), starting at their current values, and sets them; false when
// cancelled. Params is the LV2 transform object or the LADSPA host component,
// which have the same parameter members. The host keeps each value within the
// plug-in's own bounds.
template <class Params>
bool AskParameters(GtkWindow* parent, const std::string& title, Params* params) {
  int32_t count = 0;
  if (!params || com::Failed(params->get_ParamsCount(&count)) || count <= 0) return true;
  FormDialog dialog(parent, title);
  std::vector<GtkWidget*> inputs;
  for (int32_t n = 0; n < count; ++n) {
    com::Bstr name, unit;
    double value = 0;
    params->get_ParamName(n, name.Out());
    params->get_ParamLabel(n, unit.Out());
    params->get_ParamValue(n, &value);
    // Alt and the name's first letter reach the field; the name's own
    // underscores are no mnemonics.
    std::string label = "_";
    for (char c : name.utf8())
      label += c == '_' ? std::string("__") : std::string(1, c);
    if (!unit.utf8().empty()) label += " (" + unit.utf8() + ")";
    inputs.push_back(dialog.AddSpin(label, -1e6, 1e6, value, 0.1, 3));
  }
  if (!dialog.Run()) return false;
  for (int32_t n = 0; n < count; ++n)
    params->put_ParamValue(n, FormDialog::SpinValue(inputs[static_cast<size_t>(n)]));
  return true;
}

// Only the chosen plug-in runs: every other one of the host is switched off.
template <class Host>
void ActivateOnly(Host* host, int32_t number) {
  int32_t count = 0;
  host->get_Count(&count);
  for (int32_t n = 0; n < count; ++n)
    if (com::Succeeded(host->put_FilterNum(n)))
      host->put_Active(n == number ? com::VARIANT_TRUE : com::VARIANT_FALSE);
  host->put_FilterNum(number);
}

}  // namespace

void EditorWindow::OnPlugins() {
  if (!DocumentOpen()) return;
  ComPtr<IEditorDXTransform> ladspa;
  ComPtr<IEditorVSTTransform> lv2;
  control_->get_DXTransform(ladspa.Out());
  control_->get_VSTTransform(lv2.Out());
  if (!ladspa || !lv2) return;
  if (!pluginsLoaded_) {
    // Looking for plug-ins takes a moment: only when first asked for.
    control_->put_DXTransformEnabled(com::VARIANT_TRUE);
    control_->put_VSTTransformEnabled(com::VARIANT_TRUE);
    ladspa->LoadLibraries(0);
    lv2->LoadLibraries(0);
    pluginsLoaded_ = true;
  }
  std::vector<PluginEntry> plugins;
  ListPlugins(ladspa.get(), false, plugins);
  ListPlugins(lv2.get(), true, plugins);
  if (plugins.empty()) {
    boxes_->Show(kAppTitle, "No LADSPA or LV2 plug-in was found.",
                 platform::MB_OK | platform::MB_ICONINFORMATION);
    return;
  }
  std::vector<std::string> names;
  for (const PluginEntry& p : plugins)
    names.push_back((p.lv2 ? "LV2: " : "LADSPA: ") + p.name);

  FormDialog dialog(window_, "Plug-ins");
  GtkWidget* choice = dialog.AddChoice("_Plug-in", names, 0);
  GtkWidget* page = dialog.AddNote("");
  struct Context {
    std::vector<PluginEntry>* plugins;
    IEditorDXTransform* ladspa;
    IEditorVSTTransform* lv2;
    GtkWidget* page;
  } context{&plugins, ladspa.get(), lv2.get(), page};
  auto show = +[](GtkDropDown* drop, GParamSpec*, gpointer data) {
    auto* c = static_cast<Context*>(data);
    const guint index = gtk_drop_down_get_selected(drop);
    if (index >= c->plugins->size()) return;
    const PluginEntry& p = (*c->plugins)[index];
    const std::string text = p.lv2 ? PluginPage(c->lv2, p.number) : PluginPage(c->ladspa, p.number);
    gtk_label_set_text(GTK_LABEL(c->page), text.c_str());
  };
  show(GTK_DROP_DOWN(choice), nullptr, &context);
  g_signal_connect(choice, "notify::selected", G_CALLBACK(show), &context);
  const bool ok = dialog.Run();
  g_signal_handlers_disconnect_by_data(choice, &context);
  const int index = FormDialog::ChoiceIndex(choice);
  if (!ok || index < 0 || static_cast<size_t>(index) >= plugins.size()) return;
  const PluginEntry chosen = plugins[static_cast<size_t>(index)];
  // Its parameters: both transform objects have the same parameter members.
  const bool asked = chosen.lv2 ? com::Succeeded(lv2->put_FilterNum(chosen.number)) &&
                                      AskParameters(window_, chosen.name, lv2.get())
                                : com::Succeeded(ladspa->put_FilterNum(chosen.number)) &&
                                      AskParameters(window_, chosen.name, ladspa.get());
  if (!asked) return;
  SelectAllWhenNothingIs();
  if (chosen.lv2) {
    ActivateOnly(lv2.get(), chosen.number);
    RunCancellable([&] { return lv2->Process(); });
  } else {
    ActivateOnly(ladspa.get(), chosen.number);
    RunCancellable([&] { return ladspa->Process(); });
  }
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
    case AudioEditorEventsId::ChangePlayPosition:
      // A recording lengthens the document as it goes.
      if (Recording()) Refresh();
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
  if (options_.slowProgress > 0) {
    // Test hook: hold each block back, answering the window meanwhile.
    const gint64 until = g_get_monotonic_time() + gint64{options_.slowProgress} * 1000;
    while (g_get_monotonic_time() < until && busy_ && !cancelled_) {
      if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
    }
  }
  // The progress row may have been laid out only now: its place goes in the report.
  WriteReport();
}

void EditorWindow::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  gtk_widget_set_visible(progressRow_, busy);
  if (!busy) gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), 0);
  UpdateActions();
  WriteReport();
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
  if (DocumentOpen()) {
    const std::string name =
        path_.empty() ? "Untitled" : std::filesystem::path(path_).filename().string();
    title = (Modified() ? "*" : "") + name + " - " + kAppTitle;
    if (const std::string note = RecordingNote(); !note.empty()) title = "[" + note + "] " + title;
  }
  gtk_window_set_title(window_, title.c_str());
}

void EditorWindow::UpdateStatus() {
  if (!DocumentOpen()) {
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
  const std::string note = RecordingNote();
  gtk_label_set_text(GTK_LABEL(status_), note.empty() ? text : (note + "   " + text).c_str());
}

void EditorWindow::UpdateActions() {
  const bool open = DocumentOpen();
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
  const bool recording = Recording();
  enable("open", !busy_ && !recording);
  enable("open-recent", !busy_ && !recording);
  enable("preferences", !busy_ && status == status::kIdle);
  enable("record", open && !busy_ && (status == status::kIdle || status == status::kRecordPaused));
  enable("quit", !busy_);
  for (const char* name : {"save", "save-as", "close", "copy", "cut", "paste", "delete", "trim",
                           "select-all", "effect", "marker-add", "markers", "convert", "plugins"})
    enable(name, open && idle && status == status::kIdle);
  enable("undo", open && idle && status == status::kIdle && undo);
  enable("redo", open && idle && status == status::kIdle && redo);
  for (const char* name : {"zoom-in", "zoom-out", "zoom-full"})
    enable(name, open && !busy_);
  enable("play", open && !busy_ && !recording);
  enable("pause", open && (playing || recording));
  // A preview keeps its effect's code in the status word until it ends.
  enable("stop", open && (status != status::kIdle || busy_));
  gtk_widget_set_sensitive(host_ ? host_->Widget() : nullptr, !busy_);
}

void EditorWindow::UpdateUndoLabels() {
  if (!undoSection_) return;
  std::string undo = "_Undo", redo = "_Redo";
  if (control_ && DocumentOpen()) {
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
  const bool open = DocumentOpen();
  int64_t start = 0, end = 0, total = 0, viewStart = 0, viewEnd = 0;
  com::VARIANT_BOOL selected = 0;
  if (ComPtr<IEditorPosition> position;
      open && com::Succeeded(control_->get_Position(position.Out())) && position) {
    position->get_StartSelect(&start);
    position->get_EndSelect(&end);
    position->get_TotalSamples(&total);
    position->get_StartView(&viewStart);
    position->get_EndView(&viewEnd);
    position->get_Selected(&selected);
  }
  int32_t status = 0;
  control_->get_Status(&status);
  // Where the picture and the Cancel button are in the window's own
  // coordinates (what xdotool calls window-relative).
  auto place = [](GtkWidget* widget) {
    double x = 0, y = 0, sx = 0, sy = 0;
    if (GtkNative* native = gtk_widget_get_native(widget)) {
      gtk_widget_translate_coordinates(widget, GTK_WIDGET(native), 0, 0, &x, &y);
      gtk_native_get_surface_transform(native, &sx, &sy);
    }
    char text[96];
    std::snprintf(text, sizeof text, "[%d, %d, %d, %d]", static_cast<int>(x + sx),
                  static_cast<int>(y + sy), gtk_widget_get_width(widget),
                  gtk_widget_get_height(widget));
    return std::string(text);
  };
  // Each marker as [position, length, label].
  std::string markers = "[";
  if (ComPtr<IEditorMarkers> list;
      open && com::Succeeded(control_->get_Markers(list.Out())) && list) {
    for (const MarkerRow& m : ReadMarkers(list.get()))
      markers += (markers.size() > 1 ? ", [" : "[") + std::to_string(m.position) + ", " +
                 std::to_string(m.length) + ", " + JsonString(m.label) + "]";
  }
  markers += "]";
  const std::vector<int32_t> undos = open ? UndoCodes(false) : std::vector<int32_t>{};
  const size_t redos = open ? UndoCodes(true).size() : 0;
  const SampleType type = open ? CurrentSampleType() : SampleType{};
  char numbers[512];
  std::snprintf(numbers, sizeof numbers,
                "\"start\": %" PRId64 ", \"end\": %" PRId64
                ", \"selected\": %s, \"total\": %" PRId64 ", \"view_start\": %" PRId64
                ", \"view_end\": %" PRId64
                ", \"status\": %d, \"undo\": %zu, \"redo\": %zu, \"busy\": %s, \"modified\": %s"
                ", \"buttons\": %u, \"format\": [%d, %d, %d]",
                start, end, selected ? "true" : "false", total, viewStart, viewEnd, status,
                undos.size(), redos, busy_ ? "true" : "false", Modified() ? "true" : "false",
                host_->ButtonsDown(), type.rate, type.bits, type.channels);
  const char* title = gtk_window_get_title(window_);
  const std::string json =
      "{\"title\": " + JsonString(title ? title : "") + ", \"path\": " + JsonString(path_) + ", " +
      numbers + ", \"area\": " + place(host_->Widget()) + ", \"cancel\": " + place(cancel_) +
      ", \"markers\": " + markers + ", \"notice\": " + JsonString(notice_) +
      ", \"message\": " + JsonString(boxes_->LastText()) + SessionReport() + "}\n";
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
