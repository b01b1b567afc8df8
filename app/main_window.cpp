#include "app/main_window.hpp"

#include <utility>

#include "app/application.hpp"
#include "app/resources.hpp"
#include "config/set_up_window.hpp"
#include "config/config_dialogs.hpp"
#include "connection/connect.hpp"
#include "handover/ui_reports.hpp"
#include "query/query_settings_dialog.hpp"
#include "write/write_dialog.hpp"
#include "table/grid_input.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

// Pango units: 1024 per point, so this is a caption of about 8 points.
constexpr int connect_caption_size = 8000;
constexpr int css_priority = GTK_STYLE_PROVIDER_PRIORITY_APPLICATION;

gboolean on_close_request(GtkWindow*, gpointer)
{
    quit_after_asking(app().set_up_files);
    return TRUE;
}

void on_connect_clicked(GtkButton*, gpointer)
{
    toggle_link(app().connection);
}

void on_query_clicked(GtkButton*, gpointer)
{
    open_query_settings(app().query_settings);
}

void on_write_clicked(GtkButton*, gpointer)
{
    present_write_dialog_modal(app().write);
}

void on_save_clicked(GtkButton*, gpointer)
{
    start_save_configuration(app().set_up_files);
}

void on_load_clicked(GtkButton*, gpointer)
{
    start_load_configuration(app().set_up_files);
}

// The grid first, then the Write dialog, as the user reads them; nothing
// is polled again.
void render_values_again(PollTabs& tabs)
{
    fill_from_shown_values(tabs.tab->table);
    rerender_write_value(app().write);
}

// A 16-bit value has no word order to choose.
void update_order_sensitivity(PollTabs& tabs)
{
    if (tabs.order_selector)
        gtk_widget_set_sensitive(GTK_WIDGET(tabs.order_selector), value_width(selected_format(tabs.tab->table)) > 1);
}

void on_format_changed(GObject*, GParamSpec*, gpointer data)
{
    PollTabs& tabs = *static_cast<PollTabs*>(data);
    ValueFormat format = value_format_from_index(gtk_drop_down_get_selected(tabs.format_selector));
    // Showing another tab selects its format too, which changes nothing.
    set_definition_format(*tabs.model, *tabs.tab->definition, format, tabs.tab->definition->order);
    update_order_sensitivity(tabs);
    render_values_again(tabs);
}

void on_order_changed(GObject*, GParamSpec*, gpointer data)
{
    PollTabs& tabs = *static_cast<PollTabs*>(data);
    WordOrder order = word_order_from_index(gtk_drop_down_get_selected(tabs.order_selector));
    set_definition_format(*tabs.model, *tabs.tab->definition, tabs.tab->definition->format, order);
    render_values_again(tabs);
}

GtkDropDown* make_selector(GtkActionBar* bar, const char* caption_text, const char* const* entries)
{
    GtkWidget* caption = gtk_label_new(caption_text);
    gtk_widget_set_margin_start(caption, 8);
    gtk_action_bar_pack_start(bar, caption);
    GtkDropDown* selector = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(entries));
    gtk_drop_down_set_selected(selector, 0);
    gtk_accessible_update_relation(GTK_ACCESSIBLE(selector), GTK_ACCESSIBLE_RELATION_LABELLED_BY, caption,
                                   nullptr, -1);
    gtk_action_bar_pack_start(bar, GTK_WIDGET(selector));
    return selector;
}

GtkWidget* make_tool_button(const char* icon, const char* tooltip)
{
    GtkWidget* button = gtk_button_new_from_icon_name(icon);
    gtk_widget_set_tooltip_text(button, tooltip);
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, tooltip, -1);
    return button;
}

GtkWidget* make_connect_button(MainWindow& main)
{
    GtkWidget* button = gtk_button_new();
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_box_append(GTK_BOX(box), gtk_image_new_from_icon_name("network-transmit-receive-symbolic"));
    GtkWidget* label = gtk_label_new("Connect");
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_size_new(connect_caption_size));
    gtk_label_set_attributes(GTK_LABEL(label), attributes);
    pango_attr_list_unref(attributes);
    gtk_box_append(GTK_BOX(box), label);
    gtk_button_set_child(GTK_BUTTON(button), box);
    gtk_widget_set_tooltip_text(button, "Connect");
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, "Connect", -1);
    main.connect_button = GTK_BUTTON(button);
    main.connect_label = GTK_LABEL(label);
    g_signal_connect(button, "clicked", G_CALLBACK(on_connect_clicked), nullptr);
    return button;
}

GtkWidget* make_toolbar(MainWindow& main, PollTabs& tabs)
{
    GtkActionBar* bar = GTK_ACTION_BAR(gtk_action_bar_new());
    gtk_action_bar_pack_start(bar, make_connect_button(main));

    GtkWidget* query = make_tool_button("x-office-spreadsheet-symbolic", "Query Settings");
    g_signal_connect(query, "clicked", G_CALLBACK(on_query_clicked), nullptr);
    gtk_action_bar_pack_start(bar, query);

    GtkWidget* write = make_tool_button("document-edit-symbolic", "Write Settings");
    g_signal_connect(write, "clicked", G_CALLBACK(on_write_clicked), nullptr);
    gtk_action_bar_pack_start(bar, write);

    GtkWidget* save = make_tool_button("document-save-symbolic", "Save configuration");
    g_signal_connect(save, "clicked", G_CALLBACK(on_save_clicked), nullptr);
    gtk_action_bar_pack_start(bar, save);

    GtkWidget* load = make_tool_button("document-open-symbolic", "Load configuration");
    g_signal_connect(load, "clicked", G_CALLBACK(on_load_clicked), nullptr);
    gtk_action_bar_pack_start(bar, load);

    static const char* const formats[] = {"UINT",  "INT",     "HEX",   "BINARY", "INT32", "UINT32",
                                          "FLOAT32", "INT64", "UINT64", "FLOAT64", nullptr};
    tabs.format_selector = make_selector(bar, "Format:", formats);
    static const char* const orders[] = {"AB CD", "CD AB", "BA DC", "DC BA", nullptr};
    tabs.order_selector = make_selector(bar, "Order:", orders);
    update_order_sensitivity(tabs);
    g_signal_connect(tabs.format_selector, "notify::selected", G_CALLBACK(on_format_changed), &tabs);
    g_signal_connect(tabs.order_selector, "notify::selected", G_CALLBACK(on_order_changed), &tabs);
    return GTK_WIDGET(bar);
}

GtkWidget* make_header_bar(MainWindow& main)
{
    GtkHeaderBar* header = GTK_HEADER_BAR(gtk_header_bar_new());
    main.title = GTK_LABEL(gtk_label_new("Brenvaldor"));
    gtk_header_bar_set_title_widget(header, GTK_WIDGET(main.title));
    GtkWidget* menu_button = gtk_menu_button_new();
    gtk_menu_button_set_icon_name(GTK_MENU_BUTTON(menu_button), "open-menu-symbolic");
    gtk_widget_set_tooltip_text(menu_button, "Main Menu");
    // F10 opens the menu, so every command is reachable from the keyboard.
    gtk_menu_button_set_primary(GTK_MENU_BUTTON(menu_button), TRUE);
    gtk_accessible_update_property(GTK_ACCESSIBLE(menu_button), GTK_ACCESSIBLE_PROPERTY_LABEL, "Main Menu", -1);
    if (main.menu) {
        GtkWidget* popover = gtk_popover_menu_new_from_model(G_MENU_MODEL(main.menu));
        gtk_menu_button_set_popover(GTK_MENU_BUTTON(menu_button), popover);
    }
    gtk_header_bar_pack_start(header, menu_button);
    main.menu_button = GTK_MENU_BUTTON(menu_button);
    return GTK_WIDGET(header);
}

GtkWidget* make_top_box(MainWindow& main, PollTabs& tabs, GtkWidget* toolbar)
{
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 5);
    gtk_box_append(GTK_BOX(box), toolbar);
    // The role can only be given at construction; a screen reader then
    // treats the line as the program's status report.
    main.status_line = GTK_LABEL(g_object_new(GTK_TYPE_LABEL, "label", "", "accessible-role",
                                              GTK_ACCESSIBLE_ROLE_STATUS, nullptr));
    gtk_accessible_update_property(GTK_ACCESSIBLE(main.status_line), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   "Status", -1);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(main.status_line));

    gtk_box_append(GTK_BOX(box), build_tab_view(tabs));
    return box;
}

}  // namespace

GtkCssProvider* load_stylesheet(GtkWidget* window)
{
    register_resources();
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_resource(css, "/com/Brenvaldor/style.css");
    gtk_style_context_add_provider_for_display(gtk_widget_get_display(window), GTK_STYLE_PROVIDER(css),
                                               css_priority);
    return css;
}

void build_main_window(MainWindow& main, GtkApplication* application, PollTabs& tabs, GtkWidget* logger_box)
{
    GtkWidget* window = gtk_application_window_new(application);
    main.window = GTK_APPLICATION_WINDOW(window);
    gtk_widget_add_css_class(window, "platform-windows");
    g_signal_connect(window, "close-request", G_CALLBACK(on_close_request), &main);

    gtk_window_set_titlebar(GTK_WINDOW(window), make_header_bar(main));
    gtk_window_set_default_size(GTK_WINDOW(window), 1024, 768);
    gtk_window_set_resizable(GTK_WINDOW(window), TRUE);

    GtkWidget* toolbar = make_toolbar(main, tabs);
    tabs.window = GTK_WINDOW(window);
    GtkWidget* top = make_top_box(main, tabs, toolbar);

    main.paned = GTK_PANED(gtk_paned_new(GTK_ORIENTATION_VERTICAL));
    gtk_paned_set_start_child(main.paned, top);
    gtk_paned_set_shrink_start_child(main.paned, FALSE);
    if (logger_box)
        gtk_paned_set_end_child(main.paned, logger_box);
    gtk_window_set_child(GTK_WINDOW(window), GTK_WIDGET(main.paned));

    main.css = load_stylesheet(window);
}
