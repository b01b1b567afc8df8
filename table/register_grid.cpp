#include "table/register_grid.hpp"

#include <gtk/gtk.h>

#include "app/main_window.hpp"
#include "link/link_state.hpp"

void build_grid(MainWindow& main)
{
    while (gtk_widget_get_first_child(GTK_WIDGET(main.grid)))
        gtk_grid_remove_row(main.grid, 0);
    main.value_cells.clear();
}

void fill_value_cells(MainWindow&, const uint16_t*, unsigned) {}

void fill_from_link_state(MainWindow& main)
{
    LinkState& s = link_state();
    unsigned count = s.value_count.load(std::memory_order_acquire);
    uint16_t values[max_values];
    for (unsigned i = 0; i < count && i < max_values; ++i)
        values[i] = s.values[i].load(std::memory_order_relaxed);
    fill_value_cells(main, values, count);
}

void toggle_label_column(MainWindow& main)
{
    main.labels_visible = !main.labels_visible;
    build_grid(main);
    fill_from_link_state(main);
}

ValueFormat selected_format(const MainWindow& main)
{
    if (!main.format_selector)
        return ValueFormat::UINT;
    return value_format_from_index(gtk_drop_down_get_selected(main.format_selector));
}
