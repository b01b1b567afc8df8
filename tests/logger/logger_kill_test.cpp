// A recording survives the death of the process: every line that reached
// the ring was handed to the operating system before append_log_line
// returned. The recording process is this test program itself, started
// again to run only the disabled child case below, so that it owns its own
// X connection and main loop.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "logger_test_util.hpp"

namespace {

constexpr const char* child_path_variable = "BRENVALDOR_KILL_TEST_LOG";
constexpr const char* child_pipe_variable = "BRENVALDOR_KILL_TEST_PIPE";

bool read_count(int fd, uint32_t& count)
{
    size_t got = 0;
    char* into = reinterpret_cast<char*>(&count);
    while (got < sizeof count) {
        ssize_t n = read(fd, into + got, sizeof count - got);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

pid_t start_recording_child(const std::string& path, int pipe_write)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    g_setenv(child_path_variable, path.c_str(), TRUE);
    g_autofree char* fd_text = g_strdup_printf("%d", pipe_write);
    g_setenv(child_pipe_variable, fd_text, TRUE);
    execl("/proc/self/exe", "logger_tests", "--gtest_also_run_disabled_tests",
          "--gtest_filter=LoggerKilled.DISABLED_RecordingChild", static_cast<char*>(nullptr));
    _exit(127);
}

}  // namespace

// The child: records, takes lines in batches through the main loop and
// tells the parent after each batch how many lines the ring has received.
TEST(LoggerKilled, DISABLED_RecordingChild)
{
    const char* path = g_getenv(child_path_variable);
    const char* pipe_text = g_getenv(child_pipe_variable);
    ASSERT_TRUE(path && pipe_text);
    int report = std::atoi(pipe_text);
    LoggerPane& pane = activate_app().logger;
    ASSERT_TRUE(start_recording(pane, path));
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
    pid_t child = start_recording_child(path, fds[1]);
    ASSERT_GT(child, 0);
    close(fds[1]);

    uint32_t received = 0;
    bool reading = true;
    while (reading && received < 1500)
        reading = read_count(fds[0], received);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(fds[0]);
    ASSERT_TRUE(reading) << "the child stopped reporting";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

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
