// qel-editor: the desktop audio editor, the control in a GTK 4 window.
//   qel-editor [--report FILE] [--snapshot FILE] [--answer-chooser PATH]
//              [--slow-progress MS] [--drop PATH] [AUDIO-FILE]
// --report writes the editor's state (title, selection, view, undo depth, where
// the picture is) to FILE as one JSON object whenever it changes; --snapshot
// makes SIGUSR1 write the window's picture to FILE as PNG. Both serve tests and
// scripted demonstrations. --answer-chooser is a test hook: file choosers are
// not shown and answer with PATH (the desktop's native chooser is not
// something a test under a virtual X server can drive reliably);
// --slow-progress, another, makes each block of an operation last MS
// milliseconds so that a test can press Cancel in time; --drop makes SIGUSR2
// drop PATH on the window through the drop target's handler.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "core/audio_editor.h"
#include "editor_window.h"

namespace {

struct App {
  qel::gtkhost::EditorOptions options;
  std::unique_ptr<qel::gtkhost::EditorWindow> window;
  int status = 0;
};

void Activate(GtkApplication* application, gpointer data) {
  auto* app = static_cast<App*>(data);
  if (app->window) {
    gtk_window_present(app->window->Window());
    return;
  }
  try {
    app->window = std::make_unique<qel::gtkhost::EditorWindow>(application, app->options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qel-editor: %s\n", e.what());
    app->status = 1;
    return;
  }
  gtk_window_present(app->window->Window());
  if (!app->options.file.empty()) app->window->OpenPath(app->options.file);
}

int Usage() {
  std::fprintf(stderr,
               "usage: qel-editor [--report FILE] [--snapshot FILE] [--answer-chooser PATH]\n"
               "                  [--slow-progress MS] [--drop PATH] [AUDIO-FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  App app;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--report" && i + 1 < argc)
      app.options.report = argv[++i];
    else if (arg == "--snapshot" && i + 1 < argc)
      app.options.snapshot = argv[++i];
    else if (arg == "--answer-chooser" && i + 1 < argc)
      app.options.chooserAnswer = argv[++i];
    else if (arg == "--slow-progress" && i + 1 < argc)
      app.options.slowProgress = std::atoi(argv[++i]);
    else if (arg == "--drop" && i + 1 < argc)
      app.options.drop = argv[++i];
    else if (arg == "--help" || arg == "-h")
      return Usage(), 0;
    else if (!arg.empty() && arg[0] == '-')
      return Usage();
    else if (app.options.file.empty())
      app.options.file = arg;
    else
      return Usage();
  }
  qel::RegisterControlClasses();
  GtkApplication* application =
      gtk_application_new("org.qel.AudioEditor", G_APPLICATION_NON_UNIQUE);
  g_signal_connect(application, "activate", G_CALLBACK(Activate), &app);
  // The arguments are ours; GTK sees only the program name.
  const int status = g_application_run(G_APPLICATION(application), 1, argv);
  app.window.reset();
  g_object_unref(application);
  return status != 0 ? status : app.status;
}
