#pragma once
// Application actions, accelerators, the main menu, the About dialog and the
// shortcuts window.

#include <gtk/gtk.h>

#include "app/info_windows.hpp"

struct App;
struct MainWindow;
struct PollTabs;

// Adds the actions, registers their accelerators, builds the menu model.
void register_actions(App& app);
// Replaces the labels entry of the menu after a toggle of the label column.
void update_labels_menu_item(MainWindow& main, const PollTabs& tabs);
