// A recording survives the death of the process: every line that reached the
// ring was handed to the operating system before append_log_line returned.
// The recording child is this program again, running only the disabled case.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "logger_test_util.hpp"

// The child: records, takes lines in batches through the main loop and
// tells the parent after each batch how many lines the ring has received.
TEST(LoggerKilled, DISABLED_RecordingChild)
{
    const char* setting = g_getenv("BRENVALDOR_KILL_TEST");  // "<pipe fd> <log path>"
    ASSERT_TRUE(setting);
    char* path = nullptr;
    int report = static_cast<int>(std::strtol(setting, &path, 10));
    LoggerPane& pane = activate_app().logger;
    ASSERT_TRUE(start_recording(pane, path + 1));
    for (uint32_t sent = 0;;) {
        for (int i = 0; i < 10; ++i, ++sent)
            post_frame(sent % 60000, sent % 2 ? LogDirection::rx : LogDirection::tx);
        drain_main_loop();
        if (write(report, &sent, sizeof sent) != sizeof sent)
            _exit(1);
    }
}

TEST(LoggerKilled, EveryLineTheRingReceivedIsInTheFile)
{
    REQUIRE_DISPLAY();
    TempFolder folder;
    std::string path = folder.file("killed.log");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string setting = std::to_string(fds[1]) + " " + path;
    pid_t child = fork();
    if (child == 0) {
        g_setenv("BRENVALDOR_KILL_TEST", setting.c_str(), TRUE);
        execl("/proc/self/exe", "logger_tests", "--gtest_also_run_disabled_tests",
              "--gtest_filter=LoggerKilled.DISABLED_RecordingChild", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    close(fds[1]);

    // Each count is one write of 4 bytes, which a pipe never splits.
    uint32_t received = 0;
    bool reading = true;
    while (reading && received < 1500)
        reading = read(fds[0], &received, sizeof received) == sizeof received;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(fds[0]);
    ASSERT_TRUE(reading) << "the child stopped reporting";

    std::vector<std::string> lines = lines_without_time(contents_of(path));
    ASSERT_GE(lines.size(), received);
    for (uint32_t n = 0; n < lines.size(); ++n) {
        std::string expected = (n % 2 ? "RX: " : "TX: ") + frame_text(n % 60000);
        if (n + 1 == lines.size() && lines[n] != expected) {
            // The kill may land inside the write of the last line.
            EXPECT_EQ(expected.compare(0, lines[n].size(), lines[n]), 0) << n;
            EXPECT_GE(n, received) << "a reported line is cut";
            break;
        }
        ASSERT_EQ(lines[n], expected) << "line " << n;
    }
}
