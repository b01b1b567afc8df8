// Cost of the register grid on the user-interface thread: one poll result
// of 255 registers written into the cells, and one rebuild of 255 items with
// the label column shown. Runs on a real X server (Xvfb).

#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <vector>

#include "app/application.hpp"
#include "link/link_state.hpp"
#include "support/gtk_test_env.hpp"
#include "table/register_grid.hpp"

namespace {

PollTabs& grid_of_255(bool labels_visible)
{
    PollTabs& main = activate_app().tabs;
    PollDefinition poll = copy_poll_definition();
    poll.address = 0;
    poll.length = 255;
    poll.fcode = 3;
    store_poll_definition(poll);
    main.tab->table.labels_visible = labels_visible;
    build_grid(main.tab->table);
    drain_main_loop();
    return main;
}

// Every iteration writes new text into every cell, as a poll of changing
// values does (unchanged texts are skipped, see the next benchmark). The
// argument is the Format drop-down's entry: 0 UINT, 6 FLOAT32, 9 FLOAT64.
void fill_value_cells_255_changing(benchmark::State& state)
{
    PollTabs& main = grid_of_255(true);
    gtk_drop_down_set_selected(main.format_selector, static_cast<guint>(state.range(0)));
    std::vector<uint16_t> even(max_values), odd(max_values);
    for (unsigned i = 0; i < max_values; ++i) {
        even[i] = static_cast<uint16_t>(i * 257);
        odd[i] = static_cast<uint16_t>(i * 257 + 1);
    }
    bool flip = false;
    for (auto _ : state) {
        fill_value_cells(main.tab->table, flip ? odd.data() : even.data(), max_values);
        flip = !flip;
    }
}
BENCHMARK(fill_value_cells_255_changing)->Arg(0)->Arg(6)->Arg(9)->Unit(benchmark::kMicrosecond);

void fill_value_cells_255_unchanged(benchmark::State& state)
{
    PollTabs& main = grid_of_255(true);
    std::vector<uint16_t> values(max_values, 1234);
    fill_value_cells(main.tab->table, values.data(), max_values);
    for (auto _ : state)
        fill_value_cells(main.tab->table, values.data(), max_values);
}
BENCHMARK(fill_value_cells_255_unchanged)->Unit(benchmark::kMicrosecond);

void build_grid_255_labels_shown(benchmark::State& state)
{
    PollTabs& main = grid_of_255(true);
    for (auto _ : state)
        build_grid(main.tab->table);
    drain_main_loop();
}
BENCHMARK(build_grid_255_labels_shown)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    gtk_disable_setlocale();
    if (!gtk_init_check()) {
        std::fprintf(stderr, "grid_bench needs an X server (run it under Xvfb)\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
