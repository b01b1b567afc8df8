#pragma once
// The two informational windows: the About dialog and the shortcuts window.
// Both are built before the main window and kept for the life of the process.

#include <gtk/gtk.h>

// Program name, version, the logo held in the program and the comments.
GtkAboutDialog* build_about_dialog();
// The "help_overlay" window from the interface description held in the program.
GtkShortcutsWindow* build_shortcuts_window();
// Transient for the main window and modal, then presented.
void present_about_dialog(GtkAboutDialog* about, GtkWindow* parent);
