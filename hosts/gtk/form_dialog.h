// A small modal dialog of labelled inputs with OK and Cancel, for the
// editor's parameter dialogs (effects, the saved format, sample-type
// conversion, marker names). Run waits in a nested main loop, as message
// boxes do, so that the caller reads the answer in sequence.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qel::gtkhost {

class FormDialog {
 public:
  FormDialog(GtkWindow* parent, const std::string& title);
  ~FormDialog();
  FormDialog(const FormDialog&) = delete;
  FormDialog& operator=(const FormDialog&) = delete;

  // Each Add puts a row under the previous ones and returns its input.
  GtkWidget* AddSpin(const std::string& label, double minimum, double maximum, double value,
                     double step, int digits = 0);
  GtkWidget* AddCheck(const std::string& label, bool active);
  GtkWidget* AddEntry(const std::string& label, const std::string& text);
  // A drop-down of fixed choices; the index of the one shown at first.
  GtkWidget* AddChoice(const std::string& label, const std::vector<std::string>& items,
                       int selected);
  // A line of text spanning the dialog (a note, or a read-only description).
  GtkWidget* AddNote(const std::string& text);

  // A button left of Cancel that does not close the dialog (Preview).
  void AddButton(const std::string& label, std::function<void()> clicked);
  // Asked on OK: a message keeps the dialog open and is shown in it; empty lets it close.
  void SetCheck(std::function<std::string()> check);
  // Called on Esc (the dialog stays open).
  void SetEscape(std::function<void()> escape);
  // Shows a message under the fields (empty: none).
  void ShowNotice(const std::string& text);

  // Shows the dialog until OK (true) or Cancel / closing the window (false).
  bool Run();

  static double SpinValue(GtkWidget* spin);
  static bool CheckValue(GtkWidget* check);
  static std::string EntryText(GtkWidget* entry);
  static int ChoiceIndex(GtkWidget* choice);

 private:
  void AddRow(const std::string& label, GtkWidget* input);

  GtkWindow* window_ = nullptr;
  GtkWidget* grid_ = nullptr;
  int row_ = 0;
  GtkWidget* notice_ = nullptr;
  GtkWidget* extra_ = nullptr;  // the buttons added, laid out with OK and Cancel in Run
  std::vector<std::unique_ptr<std::function<void()>>> handlers_;
  std::function<std::string()> check_;
  std::function<void()> escape_;
};

}  // namespace qel::gtkhost
