// Loading a configuration file of 200,000 LABEL lines through the real
// window: reading, parsing, storing every label and rebuilding the grid, all
// on the user-interface thread. The addresses are spread over the whole
// range and each is labelled about three times, so most lines replace a
// label already stored. Reports the parse alone and the whole load, five
// runs each.
//
//   ./scripts/headless build/bench/config_load_bench
//
// Exit status 0 when the median whole load stays under 0.3 s, 1 when it
// does not, 2 when the set-up failed.

#include <glib/gstdio.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/application.hpp"
#include "config/config_dialogs.hpp"
#include "config/config_format.hpp"
#include "link/link_state.hpp"
#include "support/gtk_test_env.hpp"

namespace {

constexpr unsigned label_lines = 200000;
constexpr double target_seconds = 0.3;
constexpr int runs = 5;

std::string file_text()
{
    std::string text = "Brenvaldor V.1.0.0\nPOLL slave=1 fcode=3 address=0 length=240 scan_rate=1000\n";
    text += "LABELS " + std::to_string(label_lines) + "\n";
    for (unsigned i = 0; i < label_lines; ++i) {
        unsigned address = (i * 7919u) % 65536u;  // a stride prime to 65536 visits every address
        text += "LABEL " + std::to_string(address) + " \"Label " + std::to_string(i) + "\"\n";
    }
    return text;
}

double seconds_since(gint64 start)
{
    return double(g_get_monotonic_time() - start) / 1e6;
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

void print_row(const char* name, const std::vector<double>& samples)
{
    std::printf("%-22s median %.3f s, best %.3f s, worst %.3f s\n", name, median(samples),
                *std::min_element(samples.begin(), samples.end()), *std::max_element(samples.begin(), samples.end()));
}

}  // namespace

int main()
{
    gtk_disable_setlocale();
    if (!gtk_init_check()) {
        std::fprintf(stderr, "config_load_bench needs an X server (run it under Xvfb)\n");
        return 2;
    }
    PollTabs& main = activate_app().tabs;
    std::string text = file_text();
    g_autofree char* folder = g_dir_make_tmp("config-bench-XXXXXX", nullptr);
    std::string path = std::string(folder) + "/Brenvaldor.dat";
    std::ofstream(path, std::ios::binary) << text;

    std::vector<double> parse, load;
    size_t stored = 0;
    for (int run = 0; run < runs; ++run) {
        PollDefinition poll = copy_poll_definition();
        LabelStore labels;
        gint64 start = g_get_monotonic_time();
        ConfigReadResult result = read_configuration(text, poll, labels);
        parse.push_back(seconds_since(start));

        main.tab->definition->labels = LabelStore{};
        start = g_get_monotonic_time();
        bool loaded = load_configuration_file(app().set_up_files, path.c_str());
        load.push_back(seconds_since(start));
        drain_main_loop();
        stored = main.tab->definition->labels.entries.size();
        if (!result.ok || !loaded || labels.entries.size() != 65536 || stored != 65536) {
            std::fprintf(stderr, "the file did not load as expected\n");
            return 2;
        }
    }
    g_remove(path.c_str());
    g_rmdir(folder);

    bool ok = median(load) < target_seconds;
    std::printf("label lines            %u (%zu labels stored, %zu bytes)\n", label_lines, stored, text.size());
    print_row("parse and store", parse);
    print_row("whole load", load);
    std::printf("target                 whole load under %.1f s: %s\n", target_seconds, ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
