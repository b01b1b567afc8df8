#include "registermap/map_export_file.hpp"

#include <cerrno>
#include <exception>
#include <string>

#include "files/whole_file.hpp"
#include "preferences/preferences.hpp"
#include "registermap/register_map.hpp"
#include "table/grid_input.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

constexpr const char* export_error = "Cannot export register map";

void on_file_chosen(GObject* source, GAsyncResult* result, gpointer data)
{
    MapExport& map_export = *static_cast<MapExport*>(data);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_save_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return;  // cancelled: the user knows nothing was written
    g_autofree char* path = g_file_get_path(file);
    if (!path)
        show_refusal(map_export.tabs->window, export_error, "Not a local file");
    else
        export_register_map(map_export, path);
}

}  // namespace

void build_map_export(MapExport& map_export, PollTabs& tabs, const Preferences& preferences)
{
    map_export.tabs = &tabs;
    map_export.preferences = &preferences;
    map_export.file_dialog = file_dialog_new();
    file_dialog_set_initial_name(map_export.file_dialog, "register-map.csv");
    g_autoptr(GtkFileFilter) filter = gtk_file_filter_new();
    gtk_file_filter_add_suffix(filter, "csv");
    gtk_file_filter_set_name(filter, "Register maps (*.csv)");
    file_dialog_set_default_filter(map_export.file_dialog, filter);
}

void start_map_export(MapExport& map_export)
{
    if (GtkWindow* open = file_dialog_get_window(map_export.file_dialog)) {
        gtk_window_present(open);
        return;
    }
    file_dialog_save(map_export.file_dialog, map_export.tabs->window, nullptr, on_file_chosen, &map_export);
}

bool export_register_map(MapExport& map_export, const char* path)
{
    PollTabs& tabs = *map_export.tabs;
    withdraw_refusal(tabs.window);
    int error = ENOMEM;  // out of memory while building the text: the old file stays
    try {
        commit_label_edit(tabs.tab->table);  // a label still being typed is exported too
        std::string bytes = write_register_map(set_up_of(*tabs.model), map_export.preferences->notation);
        if (replace_file(path, bytes))
            return true;
        error = errno;
    } catch (const std::exception&) {
    }
    show_refusal(tabs.window, export_error, file_failure_reason(path, error).c_str());
    return false;
}
