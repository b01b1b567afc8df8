#pragma once
// The five ways of writing the main window's status line. The classes
// "error" and "info" are independent; both may be present at once.

#include <gtk/gtk.h>

void show_status_error(GtkLabel* status_line, const char* text);    // text, add "error"
void show_status_neutral(GtkLabel* status_line, const char* text);  // text, remove "error"
void show_status_info(GtkLabel* status_line, const char* text);     // text, add "info"
void end_status_info(GtkLabel* status_line);                        // " ", remove "info"
void show_status_bare(GtkLabel* status_line, const char* text);     // text, classes kept
