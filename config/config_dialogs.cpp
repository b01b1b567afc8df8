#include "config/config_dialogs.hpp"

void start_save_configuration(MainWindow&) {}
void start_load_configuration(MainWindow&) {}
void save_configuration(GObject*, GAsyncResult*, gpointer) {}
void load_configuration(GObject*, GAsyncResult*, gpointer) {}
