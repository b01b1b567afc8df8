#pragma once
// The widgets of closed and replaced tabs. A page leaves its tab view at
// once but is destroyed later, one widget tree per turn of the main loop:
// destroying the few hundred widgets of a grid takes milliseconds, and a
// set-up of dozens of tabs replaced at once would hold the window for a
// second.

#include <gtk/gtk.h>

// Takes page out of notebook now and destroys it in a later turn of the
// main loop, after everything retired before it. Whatever still waits when
// notebook is destroyed goes with it.
void retire_page(GtkNotebook* notebook, GtkWidget* page);
// Likewise for a widget outside the window, whose reference the caller hands over.
void retire_widget(GtkNotebook* notebook, GtkWidget* taken);
