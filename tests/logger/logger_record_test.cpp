#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "widgets/status_line.hpp"
#include "chart/chart_export.hpp"
#include "config/config_dialogs.hpp"
#include "logger_test_util.hpp"
#include "support/modbus_test_server.hpp"
#include "support/refusal_alerts.hpp"

namespace {

std::string status_text()
{
    return gtk_label_get_text(activate_app().main_window.status_line);
}

GtkWindow* main_window()
{
    return GTK_WINDOW(activate_app().main_window.window);
}

// The system's reason why no file can be made at path (a folder missing or
// closed even to root), as this process finds it.
std::string creation_refusal(const char* path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0600);
    EXPECT_LT(fd, 0) << path;
    return std::strerror(errno);
}

bool status_has(const char* style_class)
{
    return gtk_widget_has_css_class(GTK_WIDGET(activate_app().main_window.status_line), style_class);
}

// The record button's face, and whether it is marked destructive.
std::string record_face(LoggerPane& pane)
{
    bool marked = gtk_widget_has_css_class(GTK_WIDGET(pane.record_button), "destructive-action");
    bool failed = gtk_widget_has_css_class(GTK_WIDGET(pane.record_button), "error");
    return face_of(pane.record_button) + (marked ? " destructive" : "") + (failed ? " error" : "");
}

G_GNUC_BEGIN_IGNORE_DEPRECATIONS

GtkDialog* save_choice()
{
    FileDialog* dialog = file_dialog_get_last_started();
    GtkWindow* window = dialog ? file_dialog_get_window(dialog) : nullptr;
    return window ? GTK_DIALOG(window) : nullptr;
}

// Presses the record button and answers the save choice as a user would:
// keeps the offered name, picks the folder and presses Save.
void record_through_dialog(LoggerPane& pane, const std::string& folder)
{
    click(pane.record_button);
    ASSERT_NE(save_choice(), nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(save_choice());
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
    gtk_dialog_response(save_choice(), GTK_RESPONSE_ACCEPT);
    drain_main_loop();
}

}  // namespace

// Given a cancelled choice, expect nothing to change; given a chosen file,
// expect the button and the status line to show the recording until it stops.
TEST(LoggerRecording, ChosenFileIsRecordedAndButtonAndStatusShowTheRecording)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    TempFolder folder;
    std::string path = folder.file("Brenvaldor.log");
    click(pane.record_button);
    gtk_dialog_response(save_choice(), GTK_RESPONSE_CANCEL);
    drain_main_loop();
    EXPECT_FALSE(log_recording_active(pane.recording));
    EXPECT_EQ(record_face(pane), "media-record-symbolic Log To File");
    EXPECT_EQ(status_text(), "");

    record_through_dialog(pane, folder.path);
    ASSERT_TRUE(run_until([&] { return log_recording_active(pane.recording); }, 3000));
    EXPECT_EQ(record_face(pane), "media-playback-stop-symbolic Stop Recording destructive");
    g_autofree char* full_path = g_canonicalize_filename(path.c_str(), nullptr);
    EXPECT_EQ(status_text(), full_path);
    EXPECT_TRUE(status_has("info"));
    post_frame(7);
    drain_main_loop();
    EXPECT_EQ(lines_without_time(contents_of(path)), expected_lines(7, 7));

    click(pane.record_button);
    EXPECT_FALSE(log_recording_active(pane.recording));
    EXPECT_EQ(record_face(pane), "media-record-symbolic Log To File");
    EXPECT_EQ(status_text(), " ");
    EXPECT_FALSE(status_has("info"));
    post_frame(8);
    drain_main_loop();
    EXPECT_EQ(lines_without_time(contents_of(path)), expected_lines(7, 7)) << "stopped means nothing more is written";
}

G_GNUC_END_IGNORE_DEPRECATIONS

// Given an old file, expect it emptied and then to hold every line in arrival
// order, while the ring keeps the newest 200 and Clear empties only the ring and view.
TEST(LoggerRecording, FileHoldsEveryLineWhileTheRingKeeps200AndClearEmptiesOnlyTheView)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    TempFolder folder;
    std::string path = folder.file("ring.log");
    ASSERT_TRUE(g_file_set_contents(path.c_str(), "old content\n", -1, nullptr));
    ASSERT_TRUE(start_recording(pane, path.c_str()));
    EXPECT_EQ(contents_of(path), "");
    for (unsigned n = 1; n <= 201; ++n)
        post_frame(n);
    ASSERT_TRUE(view_shows(pane, expected_lines(201, 2)));

    click(pane.clear_button);
    run_for(100);  // no late redraw brings the old lines back
    EXPECT_EQ(view_text(pane), "");
    post_frame(202);
    EXPECT_TRUE(view_shows(pane, expected_lines(202, 202)));
    EXPECT_EQ(lines_without_time(contents_of(path)), expected_lines(1, 202));
}

// Given a missing folder, or one where even root may not create a file,
// expect an alert with the system's reason, the status line left to the
// link, and no recording.
TEST(LoggerRecording, UncreatableFileGivesCannotOpenLogFile)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    TempFolder folder;
    std::string missing = folder.file("missing/Brenvaldor.log");
    for (std::string path : {missing, std::string("/sys/Brenvaldor.log")}) {
        show_status_error(activate_app().main_window.status_line, "Response error / No communication");
        EXPECT_FALSE(start_recording(pane, path.c_str())) << path;
        EXPECT_EQ(alerts_over(main_window()),
                  (AlertTexts{{"Cannot open log file", creation_refusal(path.c_str()), "[Close]"}}));
        EXPECT_EQ(status_text(), "Response error / No communication");
        EXPECT_FALSE(log_recording_active(pane.recording));
        EXPECT_EQ(record_face(pane), "media-record-symbolic Log To File");
    }
}

// Given a FIFO (with or without a reader) or a device, expect an immediate
// refusal: the window never waits for a reader or a full pipe.
TEST(LoggerRecording, FifoOrDeviceIsRefusedAtOnce)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    TempFolder folder;
    std::string fifo = folder.file("pipe.log");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(20);  // an open that blocks ends the test instead of hanging it
    int reader = -1;
    for (const char* path : {fifo.c_str(), "/dev/null", fifo.c_str()}) {
        EXPECT_FALSE(start_recording(pane, path)) << path << (reader >= 0 ? " with a reader" : "");
        const char* reason = path == fifo.c_str() ? "Is a named pipe" : "Is a device";
        EXPECT_EQ(alerts_over(main_window()), (AlertTexts{{"Cannot open log file", reason, "[Close]"}}));
        EXPECT_FALSE(log_recording_active(pane.recording));
        if (reader < 0)
            reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    }
    alarm(0);
    close(reader);
}

// Given a file that cannot grow (as on a full disk), expect the failure in the
// status line and on the record button, which keeps it after the status line
// moved on and until the recording stops; later lines are still tried.
TEST(LoggerRecording, WriteFailureStaysOnTheRecordButtonUntilTheRecordingStops)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    TempFolder folder;
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    struct rlimit small = {10, old_limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(start_recording(pane, folder.file("full.log").c_str()));
    EXPECT_FALSE(status_has("error"));

    post_frame(1);
    drain_main_loop();
    EXPECT_EQ(status_text(), "Log file write failed");
    EXPECT_TRUE(status_has("error"));
    const std::string failed_face =
        "media-playback-stop-symbolic Stop Recording (Log file write failed) destructive error";
    EXPECT_EQ(record_face(pane), failed_face);

    show_status_neutral(activate_app().main_window.status_line, " ");  // as a successful poll does
    post_frame(2);
    drain_main_loop();
    EXPECT_EQ(status_text(), " ") << "the status line tells it once";
    EXPECT_EQ(record_face(pane), failed_face) << "the button keeps telling it";
    EXPECT_TRUE(log_recording_active(pane.recording));
    EXPECT_EQ(pane.history.count, 2u);

    click(pane.record_button);
    EXPECT_EQ(record_face(pane), "media-record-symbolic Log To File");
    setrlimit(RLIMIT_FSIZE, &old_limit);
}

// given a link polling every 200 ms, expect the refusals of the user's own
// file actions to stay readable over its reports, each in an alert over the
// window it came from with the system's reason: a configuration saved
// where no file may be made, then a FIFO chosen as the log file (the newer
// action takes the older alert's place), and a CSV export of the chart
TEST(LoggerRecording, FileRefusalsStayReadableWhileTheLinkPolls)
{
    REQUIRE_DISPLAY();
    App& app = activate_app();
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    TempFolder folder;
    std::string fifo = folder.file("pipe.log");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    store_poll_definition({.slave = 1, .fcode = 3, .address = 0, .length = 4, .scan_rate = 200});
    store_connection_settings({.device = "127.0.0.1", .baud_or_port = uint32_t(server->port()), .use_tcp = true});
    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
    ASSERT_TRUE(run_until([&] { return server->request_count() >= 2; }, 5000));

    EXPECT_FALSE(save_configuration_file(app.set_up_files, "/sys/Brenvaldor.dat"));
    EXPECT_EQ(alerts_over(main_window()),
              (AlertTexts{{"Cannot save configuration file", creation_refusal("/sys/probe"), "[Close]"}}));
    EXPECT_FALSE(start_recording(app.logger, fifo.c_str()));
    present_chart_window(app.chart);
    EXPECT_FALSE(export_csv_file(app.chart, folder.file("missing/Brenvaldor.csv").c_str()));

    size_t polls = server->request_count();
    run_for(2000);
    EXPECT_GE(server->request_count(), polls + 5) << "the link went on polling";
    EXPECT_EQ(alerts_over(main_window()), (AlertTexts{{"Cannot open log file", "Is a named pipe", "[Close]"}}));
    EXPECT_EQ(alerts_over(app.chart.window),
              (AlertTexts{{"Cannot export CSV", "No such file or directory", "[Close]"}}));
    EXPECT_NE(status_text(), "Cannot open log file");
    EXPECT_EQ(record_face(app.logger), "media-record-symbolic Log To File");
    app_link().running.store(false);
    signal_wake();
    EXPECT_TRUE(run_until([] { return active_workers() == 0; }, 5000));
}
