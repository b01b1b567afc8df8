#include "app/set_up_window.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/application.hpp"
#include "widgets/dialog_layer.hpp"
#include "app/main_window.hpp"
#include "config/config_dialogs.hpp"

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
    MainWindow* main;
    SetUpStep then;
};

void on_saved_as(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<PendingStep> pending(static_cast<PendingStep*>(data));
    if (finish_save_choice(source, result, *pending->main))
        pending->then(*pending->main);
}

void on_answer(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<PendingStep> pending(static_cast<PendingStep*>(data));
    MainWindow& main = *pending->main;
    int answer = alert_dialog_choose_finish(ALERT_DIALOG(source), result, nullptr);
    g_clear_object(&main.set_up_question);
    if (answer == discard_index) {
        pending->then(main);
    } else if (answer == save_index && !main.model->document.path.empty()) {
        if (save_configuration_file(main, main.model->document.path.c_str()))
            pending->then(main);
    } else if (answer == save_index) {
        // The chooser's completion owns the step from here.
        file_dialog_save(main.file_dialog, GTK_WINDOW(main.window), nullptr, on_saved_as, pending.release());
    }
}

void quit_now(MainWindow& main)
{
    take_pending_ui_work(*app().reports);  // into the ring and a recording while the window lives
    if (main.window)
        gtk_widget_set_visible(GTK_WIDGET(main.window), FALSE);
    g_application_quit(G_APPLICATION(app().application));
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
    GMenu* menu = static_cast<MainWindow*>(data)->recent_menu;
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

void show_set_up_title(MainWindow& main)
{
    std::string title = set_up_title(main.model->document, file_name_of(main.model->document));
    if (main.window)
        gtk_window_set_title(GTK_WINDOW(main.window), title.c_str());
    if (main.title)
        gtk_label_set_text(main.title, title.c_str());
}

void follow_set_up_document(MainWindow& main)
{
    listen_to_set_up(*main.model, [&main](const SetUpEvent& event) {
        if (event.change != SetUpChange::document)
            return;
        show_set_up_title(main);
        // Loaded or saved: a recent file, or one used again.
        const SetUpDocument& document = main.model->document;
        g_autofree char* uri = document.changed || document.path.empty()
                                   ? nullptr
                                   : g_filename_to_uri(document.path.c_str(), nullptr, nullptr);
        if (uri && main.window)
            gtk_recent_manager_add_item(gtk_recent_manager_get_default(), uri);
    });
}

void ask_before_dropping_set_up(MainWindow& main, SetUpStep then)
{
    if (!main.model->document.changed) {
        then(main);
        return;
    }
    if (main.set_up_question) {
        // One question at a time: the one asked already answers for this too.
        if (GtkWindow* asking = set_up_question_window(main))
            gtk_window_present(asking);
        return;
    }
    std::string question = set_up_question(file_name_of(main.model->document));
    main.set_up_question = alert_dialog_new(question.c_str());
    alert_dialog_set_detail(main.set_up_question, "Unsaved changes are lost otherwise.");
    static const char* const buttons[] = {"Cancel", "Discard", "Save", nullptr};
    alert_dialog_set_buttons(main.set_up_question, buttons);
    alert_dialog_set_cancel_button(main.set_up_question, cancel_index);
    alert_dialog_set_default_button(main.set_up_question, save_index);
    alert_dialog_choose(main.set_up_question, GTK_WINDOW(main.window), nullptr, on_answer,
                        new PendingStep{&main, std::move(then)});
}

GtkWindow* set_up_question_window(MainWindow& main)
{
    return main.set_up_question ? alert_dialog_get_window(main.set_up_question) : nullptr;
}

void quit_after_asking(MainWindow& main)
{
    ask_before_dropping_set_up(main, quit_now);
}

GMenuModel* build_recent_set_ups_menu(MainWindow& main)
{
    main.recent_menu = g_menu_new();
    GtkRecentManager* manager = gtk_recent_manager_get_default();
    g_signal_connect(manager, "changed", G_CALLBACK(fill_recent_menu), &main);
    fill_recent_menu(manager, &main);
    return G_MENU_MODEL(main.recent_menu);
}

void open_recent_set_up(MainWindow& main, const char* uri)
{
    g_autofree char* path = g_filename_from_uri(uri, nullptr, nullptr);
    if (!path)
        return;
    std::string file = path;
    ask_before_dropping_set_up(main, [file](MainWindow& m) { load_configuration_file(m, file.c_str()); });
}
