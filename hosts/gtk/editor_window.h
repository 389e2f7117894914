// The editor's main window: the control in a GtkApplicationWindow with menus,
// a toolbar, a progress bar with Cancel while an operation runs, and a status
// bar with the selection and the document's format.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com/object.h"
#include "com/variant.h"
#include "core/surface.h"
#include "file_drop.h"
#include "gtk_platform.h"
#include "gtk_window_host.h"
#include "platform/message_queue.h"
#include "settings.h"

namespace qel {
class CAudioEditor;
}

namespace qel::gtkhost {

struct EditorOptions {
  std::string file;      // opened at start when not empty
  std::string report;    // when set, the editor's state is written here on every change
  std::string snapshot;  // when set, SIGUSR1 writes the window's picture here as PNG
  // Test hook: when set, file choosers are not shown and answer with this path.
  std::string chooserAnswer;
  // Test hook: each block of an operation takes at least this many
  // milliseconds, so that a test can press Cancel while one runs.
  int slowProgress = 0;
  // Test hook: on SIGUSR2 this path is dropped on the window, through the
  // drop target's own handler (a test cannot easily drag from another program).
  std::string drop;
};

// The window's title and the caption of its message boxes.
inline constexpr const char kAppTitle[] = "Qel Audio Editor";

// TEXT as a JSON string literal, for the test report.
std::string JsonString(std::string_view text);

// The sample type a document is saved in or converted to.
struct SampleType {
  int32_t rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;
};

struct Effect;

class EditorWindow {
 public:
  EditorWindow(GtkApplication* app, EditorOptions options);
  ~EditorWindow();
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  GtkWindow* Window() const { return window_; }
  // Opens a file (asking first about unsaved changes); false when it was not opened.
  bool OpenPath(const std::string& path);

 private:
  class Events;
  struct ActionSlot {
    EditorWindow* self;
    void (EditorWindow::*run)();
  };

  // Construction.
  void BuildActions(GtkApplication* app);
  GtkWidget* BuildToolbar();
  void BuildMenu(GtkApplication* app);

  // Menu commands.
  void OnOpen();
  void OnSave();
  void OnSaveAs();
  void OnClose();
  void OnQuit();
  void OnUndo();
  void OnRedo();
  void OnCopy();
  void OnCut();
  void OnPaste();
  void OnDelete();
  void OnTrim();
  void OnSelectAll();
  // Selects everything when nothing is: effects and plug-ins then run over
  // the whole document.
  void SelectAllWhenNothingIs();
  void OnZoomIn();
  void OnZoomOut();
  void OnZoomFull();
  void OnPlay();
  void OnPause();
  void OnStop();
  void OnCancel();
  void OnEffect(std::string_view id);
  void OnAddMarker();
  void OnMarkers();
  void OnConvert();
  void OnPlugins();
  void JumpToMarker(int32_t number);  // 1-based, as the control counts markers

  // A file chooser (or the test hook's answer) that calls done with the path.
  void ChooseFile(const char* title, GtkFileChooserAction action,
                  std::function<void(const std::string&)> done);
  // Asks for a sample type, starting from the given one; false when cancelled.
  bool AskSampleType(const std::string& title, SampleType& type);
  SampleType CurrentSampleType() const;

  // After a control member ran: an error is shown, the window brought up to date.
  // CONTEXT, when given, opens the error message (what failed, on which file).
  bool Run(com::HRESULT hr, std::string_view context = {});
  // Runs an operation that Cancel may stop (the control then keeps nothing of
  // it), and shows its outcome.
  void RunCancellable(const std::function<com::HRESULT()>& operation);
  // Calls a transform member by name with the arguments in call order; an
  // error's description is left where ShowError reads it.
  com::HRESULT CallTransform(std::u16string_view member, std::vector<com::Variant>& arguments,
                             com::VARIANT* result = nullptr);
  // Plays the effect with these arguments instead of writing it (PreviewMode 1).
  void PreviewEffect(const Effect& effect, std::vector<com::Variant>& arguments);
  // Analyses the selection's tempo (everything when nothing is selected) and shows it.
  void AnalyseTempo(const Effect& effect);
  bool HasPlaybackDevice() const;
  // Whether the media component can read the file; when not, says why.
  bool Readable(const std::string& path);
  // Opens without asking about the current document.
  bool Load(const std::string& path);
  // Saves in the given sample type (none: the document's own). The file is
  // written beside the target and renamed over it only when complete, so that
  // a failed or cancelled save leaves what was there.
  bool SaveTo(const std::string& path, const SampleType* type = nullptr);
  // Asks about unsaved changes: true when the caller may go on.
  bool ConfirmDiscard();
  void ShowError(com::HRESULT hr, std::string_view context = {});

  // Events of the control.
  void OnEvent(com::DISPID id, com::DISPPARAMS* params);
  void OnProgress(int percent);
  void SetBusy(bool busy);

  // What the window shows.
  void Refresh();
  void UpdateTitle();
  void UpdateStatus();
  void UpdateActions();
  void UpdateUndoLabels();
  void WriteReport();
  void WriteSnapshot();
  // The sample file of the document's current version, which names that
  // version; empty while no document is open.
  std::string Version() const;
  bool DocumentOpen() const;
  bool Modified() const;
  std::vector<int32_t> UndoCodes(bool redo) const;

  // Recording, Preferences, the recent files, dropped files and what is
  // remembered between runs (editor_session.cpp).
  void SetUpSession(GtkApplication* app);
  void OnRecord();
  void OnPreferences();
  void OpenRecent(const std::string& path);
  void RememberFile(const std::string& path);
  void RebuildRecentMenu();
  void SaveSession();
  bool Recording() const;
  // The title's and the status bar's word on a recording running, else empty.
  std::string RecordingNote() const;
  // The report's fields about the above, each preceded by ", ".
  std::string SessionReport() const;

  EditorOptions options_;
  std::shared_ptr<platform::MessageQueue> queue_;
  std::shared_ptr<SystemClipboard> clipboard_;
  std::shared_ptr<DialogMessageBoxes> boxes_;
  com::ComPtr<IAudioEditor> control_;
  CAudioEditor* editor_ = nullptr;  // the same object, for its host-only members
  std::unique_ptr<GtkWindowHost> host_;
  com::ComPtr<com::IConnectionPoint> point_;
  uint32_t cookie_ = 0;

  GtkWindow* window_ = nullptr;
  GtkWidget* progressRow_ = nullptr;
  GtkWidget* progress_ = nullptr;
  GtkWidget* cancel_ = nullptr;
  GtkWidget* status_ = nullptr;
  GMenu* undoSection_ = nullptr;  // owned by the menu bar
  std::vector<std::unique_ptr<ActionSlot>> slots_;
  guint queueWatch_ = 0;
  guint signalWatch_ = 0;

  std::string path_;    // the file the document came from or was saved to
  std::string notice_;  // what the open effect dialog says is wrong, for the report
  bool busy_ = false;
  bool cancelled_ = false;      // Cancel was pressed during the running operation
  bool pluginsLoaded_ = false;  // the plug-in hosts are enabled and have listed theirs
  std::string savedVersion_;    // the version last opened or saved
  Settings settings_;
  std::string settingsPath_;
  GMenu* recentMenu_ = nullptr;  // owned by the menu bar
  std::unique_ptr<FileDrop> drop_;
  guint dropSignal_ = 0;
};

}  // namespace qel::gtkhost
