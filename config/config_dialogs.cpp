#include "config/config_dialogs.hpp"

#include <cerrno>
#include <exception>
#include <string>

#include "app/main_window.hpp"
#include "widgets/dialog_layer.hpp"
#include "app/set_up_window.hpp"
#include "chart/chart_window.hpp"
#include "files/whole_file.hpp"
#include "config/config_format.hpp"
#include "connection/connect.hpp"
#include "link/link_state.hpp"
#include "table/grid_input.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"
#include "tabs/tab_title.hpp"

namespace {

constexpr const char* save_error = "Cannot save configuration file";
constexpr const char* load_error = "Cannot load configuration file";

// The status line belongs to the link, whose next report would hide a
// failed save or load at once: that goes into an alert over the window.
void refuse(MainWindow& main, const char* message, const std::string& reason)
{
    show_refusal(GTK_WINDOW(main.window), message, reason.c_str());
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

std::string load_failure_reason(const ConfigReadResult& result, const char* path, int error)
{
    std::string line = std::to_string(result.failed_line);
    if (result.too_many_definitions)
        return definition_limit_text() + "; line " + line + " starts one more";
    return result.failed_line ? "Line " + line + " is not valid" : file_failure_reason(path, error);
}

MainWindow& main_of(gpointer data)
{
    return *static_cast<MainWindow*>(data);
}

// The set-up as the file keeps it: every tab's definition with what it
// charts, and the connection settings.
SavedSetUp set_up_of(MainWindow& main)
{
    SavedSetUp set_up;
    for (const auto& tab : main.tabs) {
        SavedDefinition definition{tab->poll, tab->labels, tab->name, tab->format, tab->order, {}};
        if (main.chart)
            definition.chart = charted_addresses(*main.chart, tab->serial);
        set_up.definitions.push_back(std::move(definition));
    }
    if (main.link)
        set_up.connection = copy_connection_settings(*main.link);
    return set_up;
}

// The connection settings a file holds wait in the Connection dialog: a
// load never connects by itself. Its chart lines chart their tabs'
// addresses beside what the chart holds already.
void take_connection_and_chart(MainWindow& main, const SavedSetUp& set_up)
{
    if (set_up.connection && main.link) {
        store_connection_settings(*main.link, *set_up.connection);
        if (main.connection)
            show_connection_settings(*main.connection, *set_up.connection);
    }
    if (!main.chart)
        return;
    for (size_t i = 0; i < set_up.definitions.size() && i < main.tabs.size(); ++i)
        for (uint16_t address : set_up.definitions[i].chart)
            add_chart_series_of_tab(*main.chart, main.tabs[i]->serial, address);
}

void choose_file_to_load(MainWindow& main)
{
    file_dialog_open(main.file_dialog, GTK_WINDOW(main.window), nullptr, load_configuration, &main);
}

}  // namespace

bool save_configuration_file(MainWindow& main, const char* path)
{
    withdraw_refusal(GTK_WINDOW(main.window));
    int error = ENOMEM;  // out of memory while building the text: the old file stays
    try {
        commit_label_edit(main);  // a label still being typed is saved too
        std::string bytes = write_configuration(set_up_of(main));
        if (replace_file(path, bytes)) {
            note_set_up_stored(main, path);
            return true;
        }
        error = errno;
    } catch (const std::exception&) {
    }
    refuse(main, save_error, file_failure_reason(path, error));
    return false;
}

bool load_configuration_file(MainWindow& main, const char* path)
{
    withdraw_refusal(GTK_WINDOW(main.window));
    std::string text;
    SavedSetUp set_up;
    ConfigReadResult result;
    int error = ENOMEM;
    try {
        if (!read_whole_file(path, text)) {
            error = errno;
            result = ConfigReadResult{false, 0};
        } else {
            result = read_configuration(text, main.tab->poll, set_up);
        }
    } catch (const std::exception&) {
        result = ConfigReadResult{false, 0};
    }
    if (!result.ok) {
        refuse(main, load_error, load_failure_reason(result, path, error));
        return false;
    }
    // A label still being edited goes to the store it was typed for, at
    // the address it was typed at; then the definitions, handed to the
    // worker, and a tab for each.
    commit_label_edit(main);
    std::vector<std::unique_ptr<PollTab>> tabs;
    for (SavedDefinition& definition : set_up.definitions) {
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
    take_connection_and_chart(main, set_up);
    note_set_up_stored(main, path);
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
    ask_before_dropping_set_up(main, choose_file_to_load);
}

bool finish_save_choice(GObject* source, GAsyncResult* result, MainWindow& main)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_save_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return false;  // cancelled: the user knows nothing was saved
    g_autofree char* path = g_file_get_path(file);
    if (!path) {
        refuse(main, save_error, "Not a local file");
        return false;
    }
    return save_configuration_file(main, path);
}

void save_configuration(GObject* source, GAsyncResult* result, gpointer main_window)
{
    finish_save_choice(source, result, main_of(main_window));
}

void load_configuration(GObject* source, GAsyncResult* result, gpointer main_window)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_open_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return;
    g_autofree char* path = g_file_get_path(file);
    if (!path) {
        refuse(main_of(main_window), load_error, "Not a local file");
        return;
    }
    load_configuration_file(main_of(main_window), path);
}
