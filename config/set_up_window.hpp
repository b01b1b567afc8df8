#pragma once
// The set-up file in the window: the title that names it and marks
// unsaved changes, the question before such changes are dropped, and the
// recently used set-up files.

#include <gtk/gtk.h>

#include <functional>

#include "widgets/dialog_layer.hpp"

struct PollTabs;
struct SetUpModel;

// The set-up's side of the main window: its file dialog, the question
// before unsaved changes are dropped, and the recent set-ups.
struct SetUpFiles {
    // Borrowed; they outlive it.
    SetUpModel* model = nullptr;
    PollTabs* tabs = nullptr;     // a label being typed is kept before a save or load
    GtkWindow* window = nullptr;  // the main window: titled by the set-up, the dialogs' parent
    GtkLabel* title = nullptr;    // the header bar's
    // Hides the window and ends the program; the application wires it up.
    std::function<void()> quit;

    // Owned for the process's life.
    FileDialog* file_dialog = nullptr;  // the one set-up file dialog, both directions
    GMenu* recent_menu = nullptr;       // the "Recent Set-ups" submenu
    AlertDialog* question = nullptr;    // while asking before the set-up is dropped
};

// Makes the file dialog.
void build_set_up_files(SetUpFiles& files);

// From now on the title follows the set-up model's document: it names the
// file, with a mark while the set-up has unsaved changes; and a file the
// set-up was loaded from or saved to becomes a recent one.
void follow_set_up_document(SetUpFiles& main);
void show_set_up_title(SetUpFiles& main);

// Runs then once the set-up may be dropped: at once without unsaved
// changes, else after asking "Save", "Discard" or "Cancel". Save saves to
// the file (with none, through the Save chooser) and goes on only when
// that succeeded; Discard goes on; Cancel, Escape or a failed save stop.
using SetUpStep = std::function<void(SetUpFiles&)>;
void ask_before_dropping_set_up(SetUpFiles& main, SetUpStep then);
// The alert that asks, while it is shown (for tests); null otherwise.
GtkWindow* set_up_question_window(SetUpFiles& main);

// Closing the main window and the Quit action: asks first, then quits.
void quit_after_asking(SetUpFiles& main);

// The "Recent Set-ups" submenu of the main menu, kept up to date with the
// recent files this program loaded or saved; each entry loads its file
// through app.open-recent-set-up, asking first.
GMenuModel* build_recent_set_ups_menu(SetUpFiles& main);
// The handler of app.open-recent-set-up: loads the file at uri, asking first.
void open_recent_set_up(SetUpFiles& main, const char* uri);
