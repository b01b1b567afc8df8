#pragma once
// The main window's side of the set-up file: the title that names it and
// marks unsaved changes, the question before such changes are dropped,
// and the recently used set-up files.

#include <gtk/gtk.h>

#include <functional>

struct MainWindow;

// From now on the title follows the set-up model's document: it names the
// file, with a mark while the set-up has unsaved changes; and a file the
// set-up was loaded from or saved to becomes a recent one.
void follow_set_up_document(MainWindow& main);
void show_set_up_title(MainWindow& main);

// Runs then once the set-up may be dropped: at once without unsaved
// changes, else after asking "Save", "Discard" or "Cancel". Save saves to
// the file (with none, through the Save chooser) and goes on only when
// that succeeded; Discard goes on; Cancel, Escape or a failed save stop.
using SetUpStep = std::function<void(MainWindow&)>;
void ask_before_dropping_set_up(MainWindow& main, SetUpStep then);
// The alert that asks, while it is shown (for tests); null otherwise.
GtkWindow* set_up_question_window(MainWindow& main);

// Closing the main window and the Quit action: asks first, then hides the
// window and quits.
void quit_after_asking(MainWindow& main);

// The "Recent Set-ups" submenu of the main menu, kept up to date with the
// recent files this program loaded or saved; each entry loads its file
// through app.open-recent-set-up, asking first.
GMenuModel* build_recent_set_ups_menu(MainWindow& main);
// The handler of app.open-recent-set-up: loads the file at uri, asking first.
void open_recent_set_up(MainWindow& main, const char* uri);
