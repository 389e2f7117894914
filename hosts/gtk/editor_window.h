// The editor's main window: the control in a GtkApplicationWindow with menus,
// a toolbar, a progress bar with Cancel while an operation runs, and a status
// bar with the selection and the document's format.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com/object.h"
#include "core/surface.h"
#include "gtk_platform.h"
#include "gtk_window_host.h"
#include "platform/message_queue.h"

namespace qel {
class CAudioEditor;
}

namespace qel::gtkhost {

struct EditorOptions {
  std::string file;      // opened at start when not empty
  std::string report;    // when set, the editor's state is written here on every change
  std::string snapshot;  // when set, SIGUSR1 writes the window's picture here as PNG
};

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
  void OnZoomIn();
  void OnZoomOut();
  void OnZoomFull();
  void OnPlay();
  void OnPause();
  void OnStop();
  void OnCancel();
  void OnEffect(std::string_view id);

  // After a control member ran: an error is shown, the window brought up to date.
  bool Run(com::HRESULT hr);
  // Opens without asking about the current document.
  bool Load(const std::string& path);
  bool SaveTo(const std::string& path);
  // Asks about unsaved changes: true when the caller may go on.
  bool ConfirmDiscard();
  void ShowError(com::HRESULT hr);

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
  // The sample file of the document's current version, which names that version.
  std::string Version() const;
  bool Modified() const;
  std::vector<int32_t> UndoCodes(bool redo) const;

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
  GtkWidget* status_ = nullptr;
  GMenu* undoSection_ = nullptr;  // owned by the menu bar
  std::vector<std::unique_ptr<ActionSlot>> slots_;
  guint queueWatch_ = 0;
  guint signalWatch_ = 0;

  std::string path_;  // the file the document came from or was saved to
  bool busy_ = false;
  std::string savedVersion_;  // the version last opened or saved
};

}  // namespace qel::gtkhost
