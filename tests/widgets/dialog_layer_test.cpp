#include <gtest/gtest.h>

#include <glib/gstdio.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "widgets/dialog_layer.hpp"
#include "support/gtk_test_env.hpp"

namespace {

// What a choice completed with: the button index or the file, and the error code.
struct Outcome {
    bool done = false;
    int button = -2;
    std::string path;
    int error_code = -1;
};

void finish(Outcome* outcome, GError* error)
{
    if (error) {
        EXPECT_EQ(error->domain, dialog_error_quark());
        outcome->error_code = error->code;
    }
    outcome->done = true;
}

void on_alert_done(GObject* source, GAsyncResult* result, gpointer data)
{
    g_autoptr(GError) error = nullptr;
    static_cast<Outcome*>(data)->button = alert_dialog_choose_finish(ALERT_DIALOG(source), result, &error);
    finish(static_cast<Outcome*>(data), error);
}

void on_file_done(GObject* source, GAsyncResult* result, gpointer data)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_save_finish(FILE_DIALOG(source), result, &error);
    g_autofree char* path = file ? g_file_get_path(file) : nullptr;
    static_cast<Outcome*>(data)->path = path ? path : "";
    finish(static_cast<Outcome*>(data), error);
}

// The buttons of the alert's window, in order.
std::vector<GtkButton*> buttons_of(GtkWidget* widget)
{
    std::vector<GtkButton*> found;
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_BUTTON(child))
            found.push_back(GTK_BUTTON(child));
        else {
            std::vector<GtkButton*> inner = buttons_of(child);
            found.insert(found.end(), inner.begin(), inner.end());
        }
    }
    return found;
}

// Runs the window's own shortcut for the key, as a key press would run it.
bool press_key(GtkWidget* window, guint keyval)
{
    g_autoptr(GListModel) controllers = gtk_widget_observe_controllers(window);
    for (guint i = 0; i < g_list_model_get_n_items(controllers); ++i) {
        g_autoptr(GObject) controller = G_OBJECT(g_list_model_get_item(controllers, i));
        GListModel* shortcuts = GTK_IS_SHORTCUT_CONTROLLER(controller) ? G_LIST_MODEL(controller) : nullptr;
        for (guint j = 0; shortcuts && j < g_list_model_get_n_items(shortcuts); ++j) {
            g_autoptr(GtkShortcut) shortcut = GTK_SHORTCUT(g_list_model_get_item(shortcuts, j));
            GtkShortcutTrigger* trigger = gtk_shortcut_get_trigger(shortcut);
            if (GTK_IS_KEYVAL_TRIGGER(trigger) && gtk_keyval_trigger_get_keyval(GTK_KEYVAL_TRIGGER(trigger)) == keyval)
                return gtk_shortcut_action_activate(gtk_shortcut_get_action(shortcut), GTK_SHORTCUT_ACTION_EXCLUSIVE,
                                                    window, nullptr);
        }
    }
    return false;
}

AlertDialog* make_alert()
{
    AlertDialog* alert = alert_dialog_new("Copy Value");
    alert_dialog_set_detail(alert, "0x00FF");
    static const char* const labels[] = {"Close", "Copy", nullptr};
    alert_dialog_set_buttons(alert, labels);
    alert_dialog_set_cancel_button(alert, 0);
    return alert;
}

}  // namespace

TEST(AlertDialog, ButtonPressCompletesWithItsIndexAndDestroysTheWindow)
{
    REQUIRE_DISPLAY();
    g_autoptr(AlertDialog) alert = make_alert();
    Outcome outcome;
    alert_dialog_choose(alert, nullptr, nullptr, on_alert_done, &outcome);
    GtkWindow* window = alert_dialog_get_window(alert);
    ASSERT_NE(window, nullptr);
    g_object_add_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
    std::vector<GtkButton*> buttons = buttons_of(GTK_WIDGET(window));
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_STREQ(gtk_button_get_label(buttons[1]), "Copy");
    g_signal_emit_by_name(buttons[1], "clicked");
    ASSERT_TRUE(run_until([&] { return outcome.done; }, 2000));
    EXPECT_EQ(outcome.button, 1);
    EXPECT_EQ(outcome.error_code, -1);
    drain_main_loop();
    EXPECT_EQ(window, nullptr) << "the window of a finished choice is destroyed";
    EXPECT_EQ(alert_dialog_get_window(alert), nullptr);
}

TEST(AlertDialog, CancellingTheCancellableClosesWithAnError)
{
    REQUIRE_DISPLAY();
    g_autoptr(AlertDialog) alert = make_alert();
    g_autoptr(GCancellable) cancellable = g_cancellable_new();
    Outcome outcome;
    alert_dialog_choose(alert, nullptr, cancellable, on_alert_done, &outcome);
    ASSERT_NE(alert_dialog_get_window(alert), nullptr);
    g_cancellable_cancel(cancellable);
    ASSERT_TRUE(run_until([&] { return outcome.done; }, 2000));
    EXPECT_EQ(outcome.button, -1);
    EXPECT_EQ(outcome.error_code, DIALOG_ERROR_CANCELLED);
    EXPECT_EQ(alert_dialog_get_window(alert), nullptr);
}

TEST(AlertDialog, EscapeGivesTheCancelButtonAndCloseWithoutOneIsDismissed)
{
    REQUIRE_DISPLAY();
    g_autoptr(AlertDialog) alert = make_alert();
    Outcome outcome;
    alert_dialog_choose(alert, nullptr, nullptr, on_alert_done, &outcome);
    GtkWindow* window = alert_dialog_get_window(alert);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(press_key(GTK_WIDGET(window), GDK_KEY_Escape)) << "the alert binds Escape";
    ASSERT_TRUE(run_until([&] { return outcome.done; }, 2000));
    EXPECT_EQ(outcome.button, 0);

    Outcome second;
    alert_dialog_set_cancel_button(alert, -1);
    alert_dialog_choose(alert, nullptr, nullptr, on_alert_done, &second);
    ASSERT_NE(alert_dialog_get_window(alert), nullptr);
    gtk_window_close(alert_dialog_get_window(alert));
    ASSERT_TRUE(run_until([&] { return second.done; }, 2000));
    EXPECT_EQ(second.button, -1);
    EXPECT_EQ(second.error_code, DIALOG_ERROR_DISMISSED);
}

TEST(AlertDialog, CompletionMayStartTheNextChoice)
{
    REQUIRE_DISPLAY();
    g_autoptr(AlertDialog) alert = make_alert();
    struct Chain {
        AlertDialog* alert;
        Outcome first, second;
    } chain{alert, {}, {}};
    auto start_next = [](GObject* source, GAsyncResult* result, gpointer data) {
        Chain* c = static_cast<Chain*>(data);
        on_alert_done(source, result, &c->first);
        alert_dialog_choose(c->alert, nullptr, nullptr, on_alert_done, &c->second);
    };
    alert_dialog_choose(alert, nullptr, nullptr, start_next, &chain);
    g_signal_emit_by_name(buttons_of(GTK_WIDGET(alert_dialog_get_window(alert)))[0], "clicked");
    ASSERT_TRUE(run_until([&] { return chain.first.done; }, 2000));
    drain_main_loop();
    ASSERT_NE(alert_dialog_get_window(alert), nullptr) << "the second choice is on screen";
    g_signal_emit_by_name(buttons_of(GTK_WIDGET(alert_dialog_get_window(alert)))[1], "clicked");
    ASSERT_TRUE(run_until([&] { return chain.second.done; }, 2000));
    EXPECT_EQ(chain.second.button, 1);
}

TEST(FileDialog, CancelledChoiceGivesNoFileAcceptedGivesTheChosenOne)
{
    REQUIRE_DISPLAY();
    g_autofree char* folder = g_dir_make_tmp("brenvaldor-XXXXXX", nullptr);
    ASSERT_NE(folder, nullptr);
    g_autoptr(FileDialog) dialog = file_dialog_new();
    g_autoptr(GFile) start = g_file_new_for_path(folder);
    file_dialog_set_initial_folder(dialog, start);
    file_dialog_set_initial_name(dialog, "Brenvaldor.dat");
    g_autoptr(GtkFileFilter) filter = gtk_file_filter_new();
    gtk_file_filter_add_suffix(filter, "dat");
    file_dialog_set_default_filter(dialog, filter);

    Outcome cancelled;
    file_dialog_save(dialog, nullptr, nullptr, on_file_done, &cancelled);
    EXPECT_EQ(file_dialog_get_last_started(), dialog);
    ASSERT_NE(file_dialog_get_window(dialog), nullptr);
    gtk_dialog_response(GTK_DIALOG(file_dialog_get_window(dialog)), GTK_RESPONSE_CANCEL);
    ASSERT_TRUE(run_until([&] { return cancelled.done; }, 2000));
    EXPECT_TRUE(cancelled.path.empty());
    EXPECT_EQ(cancelled.error_code, DIALOG_ERROR_DISMISSED);
    EXPECT_EQ(file_dialog_get_window(dialog), nullptr);

    Outcome accepted;
    file_dialog_save(dialog, nullptr, nullptr, on_file_done, &accepted);
    GtkWindow* window = file_dialog_get_window(dialog);
    ASSERT_NE(window, nullptr);
    drain_main_loop();
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    g_autoptr(GFile) current = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(window));
    ASSERT_NE(current, nullptr);
    g_autofree char* current_path = g_file_get_path(current);
    EXPECT_STREQ(current_path, folder);
    EXPECT_STREQ(gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(window)), "Brenvaldor.dat");
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_ACCEPT);
    ASSERT_TRUE(run_until([&] { return accepted.done; }, 2000));
    EXPECT_EQ(accepted.path, std::string(folder) + "/Brenvaldor.dat");
    g_rmdir(folder);
}

// Given each kept dialog and window of information shown, expect Escape to
// hide it; given a new tab's Query Settings, expect Escape to take the tab
// away with it; given a file chooser, expect Escape to dismiss it.
TEST(DialogEscape, ClosesEveryDialog)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    for (GtkWindow* window : {a.connection.window, a.write.window, a.scan.window, GTK_WINDOW(a.about),
                              GTK_WINDOW(a.shortcuts)}) {
        SCOPED_TRACE(G_OBJECT_TYPE_NAME(window));
        gtk_window_present(window);
        drain_main_loop();
        ASSERT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
        EXPECT_TRUE(press_key(GTK_WIDGET(window), GDK_KEY_Escape));
        drain_main_loop();
        EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window)));
    }

    g_action_group_activate_action(G_ACTION_GROUP(a.application), "new-definition", nullptr);
    drain_main_loop();
    ASSERT_EQ(a.tabs.tabs.size(), 2u);
    EXPECT_TRUE(press_key(GTK_WIDGET(a.query_settings.window), GDK_KEY_Escape));
    drain_main_loop();
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(a.query_settings.window)));
    EXPECT_EQ(a.tabs.tabs.size(), 1u);

    g_autoptr(FileDialog) files = file_dialog_new();
    Outcome outcome;
    file_dialog_open(files, GTK_WINDOW(a.main_window.window), nullptr, on_file_done, &outcome);
    ASSERT_NE(file_dialog_get_window(files), nullptr);
    EXPECT_TRUE(press_key(GTK_WIDGET(file_dialog_get_window(files)), GDK_KEY_Escape));
    ASSERT_TRUE(run_until([&] { return outcome.done; }, 2000));
    EXPECT_EQ(outcome.error_code, DIALOG_ERROR_DISMISSED);
}
