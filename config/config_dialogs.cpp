#include "config/config_dialogs.hpp"

#include <cerrno>
#include <exception>
#include <string>

#include "app/main_window.hpp"
#include "widgets/dialog_layer.hpp"
#include "app/set_up_window.hpp"
#include "files/whole_file.hpp"
#include "config/config_format.hpp"
#include "setup/definition_name.hpp"
#include "link/link_state.hpp"
#include "table/grid_input.hpp"

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
        std::string bytes = write_configuration(set_up_of(*main.model));
        if (replace_file(path, bytes)) {
            mark_set_up_stored(*main.model, path);
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
    SetUpRecord set_up;
    ConfigReadResult result;
    int error = ENOMEM;
    try {
        if (!read_whole_file(path, text)) {
            error = errno;
            result = ConfigReadResult{false, 0};
        } else {
            result = read_configuration(text, main.tab->definition->poll, set_up);
        }
    } catch (const std::exception&) {
        result = ConfigReadResult{false, 0};
    }
    if (!result.ok) {
        refuse(main, load_error, load_failure_reason(result, path, error));
        return false;
    }
    // A label still being edited goes to the store it was typed for, at
    // the address it was typed at; then the set-up is the file's, which
    // the tabs, the chart and the Connection dialog follow. A load never
    // connects by itself.
    commit_label_edit(main);
    replace_set_up(*main.model, std::move(set_up));
    mark_set_up_stored(*main.model, path);
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
