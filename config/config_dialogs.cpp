#include "config/config_dialogs.hpp"

#include <cerrno>
#include <exception>
#include <string>

#include "widgets/dialog_layer.hpp"
#include "config/set_up_window.hpp"
#include "files/whole_file.hpp"
#include "config/config_format.hpp"
#include "setup/definition_name.hpp"
#include "link/link_state.hpp"
#include "setup/set_up_model.hpp"
#include "table/grid_input.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

constexpr const char* save_error = "Cannot save configuration file";
constexpr const char* load_error = "Cannot load configuration file";

// The status line belongs to the link, whose next report would hide a
// failed save or load at once: that goes into an alert over the window.
void refuse(SetUpFiles& files, const char* message, const std::string& reason)
{
    show_refusal(files.window, message, reason.c_str());
}

// The one file dialog serves both directions and takes one choice at a
// time; a second start while a chooser is open brings that one forward.
bool choice_in_progress(SetUpFiles& files)
{
    GtkWindow* open = file_dialog_get_window(files.file_dialog);
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

SetUpFiles& files_of(gpointer data)
{
    return *static_cast<SetUpFiles*>(data);
}

void choose_file_to_load(SetUpFiles& files)
{
    file_dialog_open(files.file_dialog, files.window, nullptr, load_configuration, &files);
}

}  // namespace

bool save_configuration_file(SetUpFiles& files, const char* path)
{
    withdraw_refusal(files.window);
    int error = ENOMEM;  // out of memory while building the text: the old file stays
    try {
        commit_label_edit(files.tabs->tab->table);  // a label still being typed is saved too
        std::string bytes = write_configuration(set_up_of(*files.model));
        if (replace_file(path, bytes)) {
            mark_set_up_stored(*files.model, path);
            return true;
        }
        error = errno;
    } catch (const std::exception&) {
    }
    refuse(files, save_error, file_failure_reason(path, error));
    return false;
}

bool load_configuration_file(SetUpFiles& files, const char* path)
{
    withdraw_refusal(files.window);
    std::string text;
    SetUpRecord set_up;
    ConfigReadResult result;
    int error = ENOMEM;
    try {
        if (!read_whole_file(path, text)) {
            error = errno;
            result = ConfigReadResult{false, 0};
        } else {
            result = read_configuration(text, files.tabs->tab->definition->poll, set_up);
        }
    } catch (const std::exception&) {
        result = ConfigReadResult{false, 0};
    }
    if (!result.ok) {
        refuse(files, load_error, load_failure_reason(result, path, error));
        return false;
    }
    // A label still being edited goes to the store it was typed for, at
    // the address it was typed at; then the set-up is the file's, which
    // the tabs, the chart and the Connection dialog follow. A load never
    // connects by itself.
    commit_label_edit(files.tabs->tab->table);
    replace_set_up(*files.model, std::move(set_up));
    mark_set_up_stored(*files.model, path);
    return true;
}

void start_save_configuration(SetUpFiles& files)
{
    if (choice_in_progress(files))
        return;
    file_dialog_save(files.file_dialog, files.window, nullptr, save_configuration, &files);
}

void start_load_configuration(SetUpFiles& files)
{
    if (choice_in_progress(files))
        return;
    ask_before_dropping_set_up(files, choose_file_to_load);
}

bool finish_save_choice(GObject* source, GAsyncResult* result, SetUpFiles& files)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_save_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return false;  // cancelled: the user knows nothing was saved
    g_autofree char* path = g_file_get_path(file);
    if (!path) {
        refuse(files, save_error, "Not a local file");
        return false;
    }
    return save_configuration_file(files, path);
}

void save_configuration(GObject* source, GAsyncResult* result, gpointer files)
{
    finish_save_choice(source, result, files_of(files));
}

void load_configuration(GObject* source, GAsyncResult* result, gpointer files)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_open_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return;
    g_autofree char* path = g_file_get_path(file);
    if (!path) {
        refuse(files_of(files), load_error, "Not a local file");
        return;
    }
    load_configuration_file(files_of(files), path);
}
