#include "tabs/retired_widgets.hpp"

#include <deque>

namespace {

constexpr const char* retired_key = "brenvaldor-retired-widgets";

// Kept on the notebook, which owns it, with one reference to each widget.
struct RetiredWidgets {
    std::deque<GtkWidget*> widgets;
    guint source = 0;
};

void free_retired_widgets(gpointer data)
{
    auto* retired = static_cast<RetiredWidgets*>(data);
    if (retired->source)
        g_source_remove(retired->source);
    for (GtkWidget* widget : retired->widgets)
        g_object_unref(widget);
    delete retired;
}

// One widget tree a turn, at idle priority: frames and the worker's reports go first.
gboolean destroy_next_widget(gpointer data)
{
    auto* retired = static_cast<RetiredWidgets*>(data);
    g_object_unref(retired->widgets.front());
    retired->widgets.pop_front();
    if (!retired->widgets.empty())
        return G_SOURCE_CONTINUE;
    retired->source = 0;
    return G_SOURCE_REMOVE;
}

RetiredWidgets& retired_widgets_of(GtkNotebook* notebook)
{
    auto* retired = static_cast<RetiredWidgets*>(g_object_get_data(G_OBJECT(notebook), retired_key));
    if (!retired) {
        retired = new RetiredWidgets;
        g_object_set_data_full(G_OBJECT(notebook), retired_key, retired, free_retired_widgets);
    }
    return *retired;
}

}  // namespace

void retire_widget(GtkNotebook* notebook, GtkWidget* taken)
{
    RetiredWidgets& retired = retired_widgets_of(notebook);
    retired.widgets.push_back(taken);
    if (!retired.source)
        retired.source = g_idle_add(destroy_next_widget, &retired);
}

void retire_page(GtkNotebook* notebook, GtkWidget* page)
{
    retire_widget(notebook, GTK_WIDGET(g_object_ref(page)));
    gtk_notebook_remove_page(notebook, gtk_notebook_page_num(notebook, page));
}
