#include "tabs/tab_grid.hpp"

#include "tabs/poll_tabs.hpp"
#include "table/grid_input.hpp"
#include "table/register_grid.hpp"

namespace {

GtkWidget* make_grid(PollTab& tab)
{
    tab.table.grid = GTK_GRID(gtk_grid_new());
    attach_grid_record(tab.table);
    GtkWidget* grid = GTK_WIDGET(tab.table.grid);
    gtk_widget_add_css_class(grid, "registers");
    gtk_widget_set_focusable(grid, TRUE);
    GtkEventController* keys = gtk_event_controller_key_new();
    // Before the cells: the grid's keys move its cursor whatever cell has the focus.
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
    g_signal_connect(keys, "key-pressed", G_CALLBACK(on_grid_key), nullptr);
    gtk_widget_add_controller(grid, keys);
    GtkGesture* click = gtk_gesture_click_new();
    g_signal_connect(click, "pressed", G_CALLBACK(on_grid_click), nullptr);
    gtk_widget_add_controller(grid, GTK_EVENT_CONTROLLER(click));
    // "+" charts the cursor's address, through the application's action.
    GtkEventController* chart_keys = gtk_shortcut_controller_new();
    for (guint key : {GDK_KEY_plus, GDK_KEY_KP_Add})
        gtk_shortcut_controller_add_shortcut(
            GTK_SHORTCUT_CONTROLLER(chart_keys),
            gtk_shortcut_new(gtk_keyval_trigger_new(key, GdkModifierType(0)), gtk_named_action_new("app.chart-cursor")));
    gtk_widget_add_controller(grid, chart_keys);
    return grid;
}

GtkWidget* make_grid_scroller(PollTab& tab)
{
    GtkWidget* scroller = gtk_scrolled_window_new();
    GtkScrolledWindow* scrolled = GTK_SCROLLED_WINDOW(scroller);
    gtk_scrolled_window_set_policy(scrolled, GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_propagate_natural_width(scrolled, FALSE);
    gtk_scrolled_window_set_propagate_natural_height(scrolled, FALSE);
    gtk_widget_set_hexpand(scroller, TRUE);
    gtk_widget_set_vexpand(scroller, TRUE);
    gtk_scrolled_window_set_min_content_height(scrolled, 264);
    gtk_scrolled_window_set_min_content_width(scrolled, tab.table.labels_visible ? 320 : 200);
    gtk_scrolled_window_set_child(scrolled, make_grid(tab));
    return scroller;
}

// The tab's scroller and its empty grid, outside the window.
void make_grid_if_missing(PollTab& tab)
{
    if (tab.grid_scroller)
        return;
    tab.grid_scroller_ref = OwnedWidget(GTK_WIDGET(g_object_ref_sink(make_grid_scroller(tab))));
    tab.grid_scroller = GTK_SCROLLED_WINDOW(tab.grid_scroller_ref.widget);
}

}  // namespace

void bring_in_grid(PollTabs& main)
{
    PollTab& tab = *main.tab;
    if (!tab.page)
        return;
    make_grid_if_missing(tab);
    // Laid out before it joins the window: cells added to a grid in the
    // window are each set up for it one by one.
    build_grid_if_missing(tab.table);
    GtkWidget* scroller = GTK_WIDGET(tab.grid_scroller);
    if (!gtk_widget_get_parent(scroller))
        gtk_box_prepend(GTK_BOX(tab.page), scroller);
}

void bring_in_grid_soon(PollTabs& main)
{
    // Meanwhile whatever acts on the shown grid finds one, empty.
    if (main.tab->page)
        make_grid_if_missing(*main.tab);
    // After a frame already due, so the new tabs and the grid are drawn in
    // frames of their own; before the retired widgets' destruction.
    auto bring = [](gpointer data) -> gboolean {
        PollTabs& main = *static_cast<PollTabs*>(data);
        bring_in_grid(main);
        fill_from_shown_values(main.tab->table);
        return G_SOURCE_REMOVE;
    };
    g_idle_add_full(GDK_PRIORITY_REDRAW + 10, bring, &main, nullptr);
}

// Out of the window go the grid's realized text cells, each of which hooks
// its input method onto the one GtkSettings, where GLib unhooks one by
// searching them all; and a page that leaves the window has every widget
// in it visited.
void put_grid_aside(PollTab& tab)
{
    GtkWidget* scroller = GTK_WIDGET(tab.grid_scroller);
    if (scroller && tab.page && gtk_widget_get_parent(scroller) == tab.page)
        gtk_box_remove(GTK_BOX(tab.page), scroller);
}
