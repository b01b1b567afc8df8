#include "config/config_dialogs.hpp"

#include <cstring>
#include <exception>
#include <string>

#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "config/config_file.hpp"
#include "config/config_format.hpp"
#include "link/link_state.hpp"
#include "table/grid_input.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"
#include "tabs/tab_title.hpp"

namespace {

constexpr const char* save_error = "Cannot save configuration file";
constexpr const char* load_error = "Cannot load configuration file";

// A success takes back an earlier configuration error, which would
// otherwise go on claiming that the last save or load failed; link
// messages are left alone.
void clear_config_error(MainWindow& main)
{
    const char* shown = gtk_label_get_text(main.status_line);
    if (std::strncmp(shown, save_error, std::strlen(save_error)) == 0 ||
        std::strncmp(shown, load_error, std::strlen(load_error)) == 0)
        show_status_neutral(main.status_line, " ");
}

void report_load_failure(MainWindow& main, size_t line)
{
    if (line == 0) {
        show_status_error(main.status_line, load_error);
        return;
    }
    std::string text = std::string(load_error) + " (line " + std::to_string(line) + ")";
    show_status_error(main.status_line, text.c_str());
}

// The one file dialog serves both directions and takes one choice at a
// time; a second start while a chooser is open brings that one forward.
bool choice_in_progress(MainWindow& main)
{
    GtkWindow* open = file_dialog_get_window(main.file_dialog);
    if (open)
        gtk_window_present(open);
    return open != nullptr;
}

MainWindow& main_of(gpointer data)
{
    return *static_cast<MainWindow*>(data);
}

}  // namespace

bool save_configuration_file(MainWindow& main, const char* path)
{
    bool ok = false;
    try {
        commit_label_edit(main);  // a label still being typed is saved too
        std::vector<SavedDefinition> definitions;
        for (const auto& tab : main.tabs)
            definitions.push_back({tab->poll, tab->labels, tab->name, tab->format, tab->order});
        std::string bytes = write_configuration(definitions);
        ok = replace_file(path, bytes);
    } catch (const std::exception&) {
        // Out of memory while building the text: the old file stays.
    }
    if (!ok) {
        show_status_error(main.status_line, save_error);
        return false;
    }
    clear_config_error(main);
    return true;
}

bool load_configuration_file(MainWindow& main, const char* path)
{
    std::string text;
    std::vector<SavedDefinition> definitions;
    ConfigReadResult result;
    try {
        if (!read_whole_file(path, text))
            result = ConfigReadResult{false, 0};
        else
            result = read_configuration(text, main.tab->poll, definitions);
    } catch (const std::exception&) {
        result = ConfigReadResult{false, 0};
    }
    if (!result.ok) {
        report_load_failure(main, result.failed_line);
        return false;
    }
    // A label still being edited goes to the store it was typed for, at
    // the address it was typed at; then the definitions, handed to the
    // worker, and a tab for each.
    commit_label_edit(main);
    std::vector<std::unique_ptr<PollTab>> tabs;
    for (SavedDefinition& definition : definitions) {
        auto tab = std::make_unique<PollTab>();
        tab->poll = definition.poll;
        tab->labels = std::move(definition.labels);
        tab->name = tidy_tab_name(definition.name);
        tab->format = definition.format;
        tab->order = definition.order;
        tab->labels_visible = main.tab->labels_visible;
        tabs.push_back(std::move(tab));
    }
    replace_poll_tabs(main, std::move(tabs));
    clear_config_error(main);
    return true;
}

void start_save_configuration(MainWindow& main)
{
    if (choice_in_progress(main))
        return;
    file_dialog_save(main.file_dialog, GTK_WINDOW(main.window), nullptr, save_configuration, &main);
}

void start_load_configuration(MainWindow& main)
{
    if (choice_in_progress(main))
        return;
    file_dialog_open(main.file_dialog, GTK_WINDOW(main.window), nullptr, load_configuration, &main);
}

void save_configuration(GObject* source, GAsyncResult* result, gpointer main_window)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_save_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return;  // cancelled: the user knows nothing was saved
    g_autofree char* path = g_file_get_path(file);
    if (!path) {
        show_status_error(main_of(main_window).status_line, save_error);
        return;
    }
    save_configuration_file(main_of(main_window), path);
}

void load_configuration(GObject* source, GAsyncResult* result, gpointer main_window)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_open_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return;
    g_autofree char* path = g_file_get_path(file);
    if (!path) {
        show_status_error(main_of(main_window).status_line, load_error);
        return;
    }
    load_configuration_file(main_of(main_window), path);
}
