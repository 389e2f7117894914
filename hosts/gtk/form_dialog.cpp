#include "form_dialog.h"

namespace qel::gtkhost {

namespace {

struct Answer {
  GMainLoop* loop = nullptr;
  bool ok = false;
  const std::function<std::string()>* check = nullptr;
  FormDialog* dialog = nullptr;
};

}  // namespace

FormDialog::FormDialog(GtkWindow* parent, const std::string& title) {
  window_ = GTK_WINDOW(gtk_window_new());
  // Held by us until the destructor, whatever GTK does with the toplevel.
  g_object_ref_sink(window_);
  gtk_window_set_title(window_, title.c_str());
  gtk_window_set_modal(window_, TRUE);
  gtk_window_set_transient_for(window_, parent);
  gtk_window_set_resizable(window_, FALSE);
  grid_ = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid_), 6);
  gtk_grid_set_column_spacing(GTK_GRID(grid_), 12);
  gtk_widget_set_margin_start(grid_, 18);
  gtk_widget_set_margin_end(grid_, 18);
  gtk_widget_set_margin_top(grid_, 18);
  gtk_widget_set_margin_bottom(grid_, 12);
  gtk_window_set_child(window_, grid_);
  extra_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  GtkEventController* keys = gtk_event_controller_key_new();
  g_signal_connect(keys, "key-pressed",
                   G_CALLBACK(+[](GtkEventControllerKey*, guint key, guint, GdkModifierType,
                                  gpointer self) -> gboolean {
                     auto* dialog = static_cast<FormDialog*>(self);
                     if (key != GDK_KEY_Escape || !dialog->escape_) return FALSE;
                     dialog->escape_();
                     return TRUE;
                   }),
                   this);
  gtk_widget_add_controller(GTK_WIDGET(window_), keys);
}

FormDialog::~FormDialog() {
  gtk_window_destroy(window_);
  g_object_unref(window_);
}

void FormDialog::AddRow(const std::string& label, GtkWidget* input) {
  GtkWidget* caption = gtk_label_new_with_mnemonic(label.c_str());
  gtk_label_set_xalign(GTK_LABEL(caption), 0);
  gtk_label_set_mnemonic_widget(GTK_LABEL(caption), input);
  gtk_grid_attach(GTK_GRID(grid_), caption, 0, row_, 1, 1);
  gtk_grid_attach(GTK_GRID(grid_), input, 1, row_, 1, 1);
  ++row_;
}

GtkWidget* FormDialog::AddSpin(const std::string& label, double minimum, double maximum,
                               double value, double step, int digits) {
  GtkWidget* input = gtk_spin_button_new_with_range(minimum, maximum, step);
  gtk_spin_button_set_digits(GTK_SPIN_BUTTON(input), static_cast<guint>(digits));
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(input), value);
  // Enter in a field answers the dialog as OK would.
  gtk_widget_set_hexpand(input, TRUE);
  if (GtkEditable* text = gtk_editable_get_delegate(GTK_EDITABLE(input)); text && GTK_IS_TEXT(text))
    gtk_text_set_activates_default(GTK_TEXT(text), TRUE);
  AddRow(label, input);
  return input;
}

GtkWidget* FormDialog::AddCheck(const std::string& label, bool active) {
  GtkWidget* input = gtk_check_button_new_with_mnemonic(label.c_str());
  gtk_check_button_set_active(GTK_CHECK_BUTTON(input), active);
  gtk_grid_attach(GTK_GRID(grid_), input, 0, row_++, 2, 1);
  return input;
}

GtkWidget* FormDialog::AddEntry(const std::string& label, const std::string& text) {
  GtkWidget* input = gtk_entry_new();
  gtk_editable_set_text(GTK_EDITABLE(input), text.c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(input), TRUE);
  gtk_widget_set_hexpand(input, TRUE);
  AddRow(label, input);
  return input;
}

GtkWidget* FormDialog::AddChoice(const std::string& label, const std::vector<std::string>& items,
                                 int selected) {
  std::vector<const char*> strings;
  for (const std::string& item : items)
    strings.push_back(item.c_str());
  strings.push_back(nullptr);
  GtkWidget* input = gtk_drop_down_new_from_strings(strings.data());
  if (selected >= 0) gtk_drop_down_set_selected(GTK_DROP_DOWN(input), static_cast<guint>(selected));
  AddRow(label, input);
  return input;
}

GtkWidget* FormDialog::AddNote(const std::string& text) {
  GtkWidget* note = gtk_label_new(text.c_str());
  gtk_label_set_xalign(GTK_LABEL(note), 0);
  gtk_label_set_wrap(GTK_LABEL(note), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(note), 60);
  gtk_label_set_selectable(GTK_LABEL(note), TRUE);
  gtk_grid_attach(GTK_GRID(grid_), note, 0, row_++, 2, 1);
  return note;
}

void FormDialog::AddButton(const std::string& label, std::function<void()> clicked) {
  GtkWidget* button = gtk_button_new_with_mnemonic(label.c_str());
  handlers_.push_back(std::make_unique<std::function<void()>>(std::move(clicked)));
  g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer handler) {
                     (*static_cast<std::function<void()>*>(handler))();
                   }),
                   handlers_.back().get());
  gtk_box_append(GTK_BOX(extra_), button);
}

void FormDialog::SetCheck(std::function<std::string()> check) {
  check_ = std::move(check);
}

void FormDialog::SetEscape(std::function<void()> escape) {
  escape_ = std::move(escape);
}

void FormDialog::ShowNotice(const std::string& text) {
  if (!notice_) {
    notice_ = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(notice_), 0);
    gtk_label_set_wrap(GTK_LABEL(notice_), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(notice_), 60);
    gtk_widget_add_css_class(notice_, "error");
    gtk_grid_attach(GTK_GRID(grid_), notice_, 0, row_++, 2, 1);
  }
  gtk_label_set_text(GTK_LABEL(notice_), text.c_str());
  gtk_widget_set_visible(notice_, !text.empty());
}

bool FormDialog::Run() {
  Answer answer{g_main_loop_new(nullptr, FALSE), false, &check_, this};
  // The notice's row lies above the buttons even when nothing was shown yet.
  ShowNotice("");
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_halign(buttons, GTK_ALIGN_END);
  gtk_widget_set_margin_top(buttons, 6);
  GtkWidget* cancel = gtk_button_new_with_mnemonic("_Cancel");
  GtkWidget* ok = gtk_button_new_with_mnemonic("_OK");
  g_signal_connect(cancel, "clicked", G_CALLBACK(+[](GtkButton*, gpointer a) {
                     g_main_loop_quit(static_cast<Answer*>(a)->loop);
                   }),
                   &answer);
  g_signal_connect(ok, "clicked", G_CALLBACK(+[](GtkButton*, gpointer a) {
                     auto* answer = static_cast<Answer*>(a);
                     if (*answer->check) {
                       const std::string refused = (*answer->check)();
                       answer->dialog->ShowNotice(refused);
                       if (!refused.empty()) return;
                     }
                     answer->ok = true;
                     g_main_loop_quit(answer->loop);
                   }),
                   &answer);
  gtk_box_append(GTK_BOX(buttons), extra_);
  gtk_box_append(GTK_BOX(buttons), cancel);
  gtk_box_append(GTK_BOX(buttons), ok);
  gtk_grid_attach(GTK_GRID(grid_), buttons, 0, row_++, 2, 1);
  gtk_window_set_default_widget(window_, ok);
  g_signal_connect(window_, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer a) -> gboolean {
                     g_main_loop_quit(static_cast<Answer*>(a)->loop);
                     return TRUE;
                   }),
                   &answer);
  gtk_window_present(window_);
  g_main_loop_run(answer.loop);
  g_signal_handlers_disconnect_by_data(window_, &answer);
  gtk_widget_set_visible(GTK_WIDGET(window_), FALSE);
  g_main_loop_unref(answer.loop);
  return answer.ok;
}

double FormDialog::SpinValue(GtkWidget* spin) {
  // What was typed counts even when the field still has the focus.
  gtk_spin_button_update(GTK_SPIN_BUTTON(spin));
  return gtk_spin_button_get_value(GTK_SPIN_BUTTON(spin));
}

bool FormDialog::CheckValue(GtkWidget* check) {
  return gtk_check_button_get_active(GTK_CHECK_BUTTON(check));
}

std::string FormDialog::EntryText(GtkWidget* entry) {
  return gtk_editable_get_text(GTK_EDITABLE(entry));
}

int FormDialog::ChoiceIndex(GtkWidget* choice) {
  const guint index = gtk_drop_down_get_selected(GTK_DROP_DOWN(choice));
  return index == GTK_INVALID_LIST_POSITION ? -1 : static_cast<int>(index);
}

}  // namespace qel::gtkhost
