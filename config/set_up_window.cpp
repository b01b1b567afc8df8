#include "config/set_up_window.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/config_dialogs.hpp"
#include "setup/set_up_model.hpp"

namespace {

constexpr int cancel_index = 0;
constexpr int discard_index = 1;
constexpr int save_index = 2;
constexpr guint most_recent_shown = 10;

// The file's name as the user reads it, whatever its encoding; empty without a file.
std::string file_name_of(const SetUpDocument& document)
{
    if (document.path.empty())
        return {};
    g_autofree char* name = g_filename_display_basename(document.path.c_str());
    return name;
}

// A step waiting for the user's answer, or for the Save chooser.
struct PendingStep {
    SetUpFiles* files;
    SetUpStep then;
};

void on_saved_as(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<PendingStep> pending(static_cast<PendingStep*>(data));
    if (finish_save_choice(source, result, *pending->files))
        pending->then(*pending->files);
}

void on_answer(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<PendingStep> pending(static_cast<PendingStep*>(data));
    SetUpFiles& files = *pending->files;
    int answer = alert_dialog_choose_finish(ALERT_DIALOG(source), result, nullptr);
    g_clear_object(&files.question);
    if (answer == discard_index) {
        pending->then(files);
    } else if (answer == save_index && !files.model->document.path.empty()) {
        if (save_configuration_file(files, files.model->document.path.c_str()))
            pending->then(files);
    } else if (answer == save_index) {
        // The chooser's completion owns the step from here.
        file_dialog_save(files.file_dialog, files.window, nullptr, on_saved_as, pending.release());
    }
}

void quit_now(SetUpFiles& files)
{
    if (files.quit)
        files.quit();
}

bool is_own_set_up(GtkRecentInfo* info)
{
    return gtk_recent_info_has_application(info, g_get_application_name()) && gtk_recent_info_exists(info);
}

gint newest_first(gconstpointer a, gconstpointer b)
{
    auto* first = static_cast<GtkRecentInfo*>(const_cast<gpointer>(a));
    auto* second = static_cast<GtkRecentInfo*>(const_cast<gpointer>(b));
    return g_date_time_compare(gtk_recent_info_get_modified(second), gtk_recent_info_get_modified(first));
}

// A label's underscores would be taken for mnemonics.
std::string menu_label(const char* name)
{
    std::string label;
    for (const char* c = name; *c; ++c)
        label.append(*c == '_' ? "__" : std::string(1, *c));
    return label;
}

void fill_recent_menu(GtkRecentManager* manager, gpointer data)
{
    GMenu* menu = static_cast<SetUpFiles*>(data)->recent_menu;
    g_menu_remove_all(menu);
    GList* items = g_list_sort(gtk_recent_manager_get_items(manager), newest_first);
    guint shown = 0;
    for (GList* item = items; item && shown < most_recent_shown; item = item->next) {
        auto* info = static_cast<GtkRecentInfo*>(item->data);
        if (!is_own_set_up(info))
            continue;
        g_autoptr(GMenuItem) entry = g_menu_item_new(menu_label(gtk_recent_info_get_display_name(info)).c_str(), nullptr);
        g_menu_item_set_action_and_target_value(entry, "app.open-recent-set-up",
                                                g_variant_new_string(gtk_recent_info_get_uri(info)));
        g_menu_append_item(menu, entry);
        ++shown;
    }
    g_list_free_full(items, reinterpret_cast<GDestroyNotify>(gtk_recent_info_unref));
}

}  // namespace

void show_set_up_title(SetUpFiles& files)
{
    std::string title = set_up_title(files.model->document, file_name_of(files.model->document));
    if (files.window)
        gtk_window_set_title(files.window, title.c_str());
    if (files.title)
        gtk_label_set_text(files.title, title.c_str());
}

void build_set_up_files(SetUpFiles& files)
{
    files.file_dialog = file_dialog_new();
    file_dialog_set_initial_name(files.file_dialog, "Brenvaldor.dat");
    g_autoptr(GFile) folder = g_file_new_for_path(".");
    file_dialog_set_initial_folder(files.file_dialog, folder);
    g_autoptr(GtkFileFilter) filter = gtk_file_filter_new();
    gtk_file_filter_add_suffix(filter, "dat");
    gtk_file_filter_set_name(filter, "Configuration (*.dat)");
    file_dialog_set_default_filter(files.file_dialog, filter);
}

void follow_set_up_document(SetUpFiles& files)
{
    listen_to_set_up(*files.model, [&files](const SetUpEvent& event) {
        if (event.change != SetUpChange::document)
            return;
        show_set_up_title(files);
        // Loaded or saved: a recent file, or one used again.
        const SetUpDocument& document = files.model->document;
        g_autofree char* uri = document.changed || document.path.empty()
                                   ? nullptr
                                   : g_filename_to_uri(document.path.c_str(), nullptr, nullptr);
        if (uri && files.window)
            gtk_recent_manager_add_item(gtk_recent_manager_get_default(), uri);
    });
}

void ask_before_dropping_set_up(SetUpFiles& files, SetUpStep then)
{
    if (!files.model->document.changed) {
        then(files);
        return;
    }
    if (files.question) {
        // One question at a time: the one asked already answers for this too.
        if (GtkWindow* asking = set_up_question_window(files))
            gtk_window_present(asking);
        return;
    }
    std::string question = set_up_question(file_name_of(files.model->document));
    files.question = alert_dialog_new(question.c_str());
    alert_dialog_set_detail(files.question, "Unsaved changes are lost otherwise.");
    static const char* const buttons[] = {"Cancel", "Discard", "Save", nullptr};
    alert_dialog_set_buttons(files.question, buttons);
    alert_dialog_set_cancel_button(files.question, cancel_index);
    alert_dialog_set_default_button(files.question, save_index);
    alert_dialog_choose(files.question, files.window, nullptr, on_answer,
                        new PendingStep{&files, std::move(then)});
}

GtkWindow* set_up_question_window(SetUpFiles& files)
{
    return files.question ? alert_dialog_get_window(files.question) : nullptr;
}

void quit_after_asking(SetUpFiles& files)
{
    ask_before_dropping_set_up(files, quit_now);
}

GMenuModel* build_recent_set_ups_menu(SetUpFiles& files)
{
    files.recent_menu = g_menu_new();
    GtkRecentManager* manager = gtk_recent_manager_get_default();
    g_signal_connect(manager, "changed", G_CALLBACK(fill_recent_menu), &files);
    fill_recent_menu(manager, &files);
    return G_MENU_MODEL(files.recent_menu);
}

void open_recent_set_up(SetUpFiles& files, const char* uri)
{
    g_autofree char* path = g_filename_from_uri(uri, nullptr, nullptr);
    if (!path)
        return;
    std::string file = path;
    ask_before_dropping_set_up(files, [file](SetUpFiles& m) { load_configuration_file(m, file.c_str()); });
}
