#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/status_line.hpp"
#include "logger_test_util.hpp"

namespace {

std::string status_text()
{
    return gtk_label_get_text(activate_app().main_window.status_line);
}

bool status_has(const char* style_class)
{
    return gtk_widget_has_css_class(GTK_WIDGET(activate_app().main_window.status_line), style_class);
}

GtkDialog* find_message_dialog()
{
    GtkDialog* found = nullptr;
    run_until([&] {
        GListModel* toplevels = gtk_window_get_toplevels();
        for (guint i = 0; i < g_list_model_get_n_items(toplevels) && !found; ++i) {
            g_autoptr(GObject) item = G_OBJECT(g_list_model_get_item(toplevels, i));
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            if (GTK_IS_MESSAGE_DIALOG(item) && gtk_widget_get_visible(GTK_WIDGET(item)))
                found = GTK_DIALOG(item);
            G_GNUC_END_IGNORE_DEPRECATIONS
        }
        return found != nullptr;
    }, 1000);
    return found;
}

// Presses the record button and answers the save choice as a user would:
// picks the folder, types the name and presses Save.
void record_through_dialog(LoggerPane& pane, const std::string& folder, const char* name)
{
    click(pane.record_button);
    FileDialog* dialog = file_dialog_get_last_started();
    ASSERT_NE(dialog, nullptr);
    GtkWindow* window = file_dialog_get_window(dialog);
    ASSERT_NE(window, nullptr);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(window);
    EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SAVE);
    g_autofree char* initial_name = gtk_file_chooser_get_current_name(chooser);
    EXPECT_STREQ(initial_name, "Brenvaldor.log");
    // The chooser loads its folders in the background, as it does for a user.
    auto folder_is = [&](GFile* wanted) {
        return run_until([&] {
            g_autoptr(GFile) current = gtk_file_chooser_get_current_folder(chooser);
            return current && g_file_equal(current, wanted);
        }, 3000);
    };
    g_autoptr(GFile) working_folder = g_file_new_for_path(".");
    EXPECT_TRUE(folder_is(working_folder));
    g_autoptr(GFile) target = g_file_new_for_path(folder.c_str());
    ASSERT_TRUE(gtk_file_chooser_set_current_folder(chooser, target, nullptr));
    ASSERT_TRUE(folder_is(target));
    gtk_file_chooser_set_current_name(chooser, name);
    gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_ACCEPT);
    drain_main_loop();
    // Saving over an existing file asks first; the user presses "Replace".
    if (GtkDialog* question = find_message_dialog()) {
        gtk_dialog_response(question, GTK_RESPONSE_ACCEPT);
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    drain_main_loop();
}

std::string tooltip_of(GtkButton* button)
{
    const char* text = gtk_widget_get_tooltip_text(GTK_WIDGET(button));
    return text ? text : "";
}

}  // namespace

// Given an old log file, expect the recording chosen in the dialog to start it empty.
TEST(LoggerRecording, ChosenFileIsEmptiedAndButtonAndStatusShowTheRecording)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    TempFolder folder;
    std::string path = folder.file("Brenvaldor.log");
    ASSERT_TRUE(g_file_set_contents(path.c_str(), "old content\n", -1, nullptr));

    record_through_dialog(pane, folder.path, "Brenvaldor.log");
    ASSERT_TRUE(run_until([&] { return log_recording_active(pane.recording); }, 3000));
    EXPECT_EQ(contents_of(path), "");
    EXPECT_STREQ(gtk_button_get_icon_name(pane.record_button), "media-playback-stop-symbolic");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(pane.record_button), "destructive-action"));
    EXPECT_EQ(tooltip_of(pane.record_button), "Stop Recording");
    g_autofree char* full_path = g_canonicalize_filename(path.c_str(), nullptr);
    EXPECT_EQ(status_text(), full_path);
    EXPECT_TRUE(status_has("info"));

    post_frame(7);
    drain_main_loop();
    EXPECT_EQ(lines_without_time(contents_of(path)), expected_lines(7, 7));

    click(pane.record_button);
    EXPECT_FALSE(log_recording_active(pane.recording));
    EXPECT_STREQ(gtk_button_get_icon_name(pane.record_button), "media-record-symbolic");
    EXPECT_FALSE(gtk_widget_has_css_class(GTK_WIDGET(pane.record_button), "destructive-action"));
    EXPECT_EQ(tooltip_of(pane.record_button), "Log To File");
    EXPECT_EQ(status_text(), " ");
    EXPECT_FALSE(status_has("info"));

    post_frame(8);
    drain_main_loop();
    EXPECT_EQ(lines_without_time(contents_of(path)), expected_lines(7, 7)) << "stopped means nothing more is written";
}

TEST(LoggerRecording, CancelledChoiceChangesNothing)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    click(pane.record_button);
    GtkWindow* window = file_dialog_get_window(file_dialog_get_last_started());
    ASSERT_NE(window, nullptr);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_CANCEL);
    G_GNUC_END_IGNORE_DEPRECATIONS
    drain_main_loop();
    EXPECT_FALSE(log_recording_active(pane.recording));
    EXPECT_STREQ(gtk_button_get_icon_name(pane.record_button), "media-record-symbolic");
    EXPECT_EQ(status_text(), "");
}

TEST(LoggerRecording, RingKeeps200NewestWhileTheFileHoldsAllInArrivalOrder)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    TempFolder folder;
    std::string path = folder.file("ring.log");
    ASSERT_TRUE(start_recording(pane, path.c_str()));
    for (unsigned n = 1; n <= 201; ++n)
        post_frame(n);
    EXPECT_TRUE(run_until([&] { return lines_without_time(view_text(pane)) == expected_lines(201, 2); }, 3000));
    EXPECT_EQ(lines_without_time(contents_of(path)), expected_lines(1, 201));
}

// Given a recording, expect Clear to empty the view and the ring, never the file.
TEST(LoggerRecording, ClearLeavesTheFileAndTheRecording)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    TempFolder folder;
    std::string path = folder.file("clear.log");
    ASSERT_TRUE(start_recording(pane, path.c_str()));
    for (unsigned n = 1; n <= 4; ++n)
        post_frame(n);
    ASSERT_TRUE(run_until([&] { return lines_without_time(view_text(pane)) == expected_lines(4, 1); }, 3000));

    click(pane.clear_button);
    EXPECT_EQ(view_text(pane), "");
    EXPECT_EQ(pane.history.count, 0u);
    EXPECT_TRUE(log_recording_active(pane.recording));
    run_for(100);
    EXPECT_EQ(view_text(pane), "");
    EXPECT_EQ(lines_without_time(contents_of(path)), expected_lines(1, 4));

    post_frame(5);
    EXPECT_TRUE(run_until([&] { return lines_without_time(view_text(pane)) == expected_lines(5, 5); }, 3000));
    EXPECT_EQ(lines_without_time(contents_of(path)), expected_lines(1, 5));
}

// Given a folder that does not exist, expect the bare message and no recording.
TEST(LoggerRecording, UncreatableFileGivesCannotOpenLogFile)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    TempFolder folder;
    GtkLabel* status = activate_app().main_window.status_line;
    show_status_error(status, "Response error / No communication");
    EXPECT_FALSE(start_recording(pane, folder.file("missing/Brenvaldor.log").c_str()));
    EXPECT_EQ(status_text(), "Cannot open log file");
    EXPECT_TRUE(status_has("error")) << "the classes are left as they were";
    EXPECT_FALSE(status_has("info"));
    EXPECT_FALSE(log_recording_active(pane.recording));
    EXPECT_STREQ(gtk_button_get_icon_name(pane.record_button), "media-record-symbolic");

    // A read-only file: root may write anywhere, so only check it when it bites.
    std::string locked = folder.file("locked.log");
    ASSERT_TRUE(g_file_set_contents(locked.c_str(), "", 0, nullptr));
    chmod(locked.c_str(), 0444);
    chmod(folder.path.c_str(), 0555);
    if (geteuid() != 0) {
        show_status_neutral(status, "");
        EXPECT_FALSE(start_recording(pane, locked.c_str()));
        EXPECT_EQ(status_text(), "Cannot open log file");
    }
    chmod(folder.path.c_str(), 0755);
}

// Given a full disk mid-recording, expect one error report and the recording to go on.
TEST(LoggerRecording, WriteFailureIsReportedOnceAndTheRecordingGoesOn)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    GtkLabel* status = activate_app().main_window.status_line;
    ASSERT_TRUE(start_recording(pane, "/dev/full"));
    EXPECT_EQ(status_text(), "/dev/full");
    EXPECT_FALSE(status_has("error"));

    post_frame(1);
    drain_main_loop();
    EXPECT_EQ(status_text(), "Log file write failed");
    EXPECT_TRUE(status_has("error"));
    EXPECT_TRUE(log_recording_active(pane.recording));

    show_status_neutral(status, " ");  // as a successful poll would
    post_frame(2);
    drain_main_loop();
    EXPECT_EQ(status_text(), " ") << "reported once per recording";
    EXPECT_TRUE(log_recording_active(pane.recording));
    EXPECT_EQ(pane.history.count, 2u);

    click(pane.record_button);
    EXPECT_FALSE(log_recording_active(pane.recording));
}
