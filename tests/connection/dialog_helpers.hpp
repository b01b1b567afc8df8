#pragma once
// Shared by the connection tests: readers and writers of the dialog, header only.

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "connection/connection_dialog.hpp"
#include "connection/fake_port_tree.hpp"
#include "support/gtk_test_env.hpp"

using Names = std::vector<std::string>;

inline GtkEditable* combo_entry(ConnectionDialog& d)
{
    return GTK_EDITABLE(gtk_combo_box_get_child(GTK_COMBO_BOX(d.port_combo)));
}
inline std::string combo_entry_text(ConnectionDialog& d) { return gtk_editable_get_text(combo_entry(d)); }
inline void type_port_name(ConnectionDialog& d, const char* text) { gtk_editable_set_text(combo_entry(d), text); }
inline int combo_active(ConnectionDialog& d) { return gtk_combo_box_get_active(GTK_COMBO_BOX(d.port_combo)); }
inline bool is_visible(ConnectionDialog& d) { return gtk_widget_get_visible(GTK_WIDGET(d.window)); }
inline void click(GtkButton* button) { g_signal_emit_by_name(button, "clicked"); }

inline Names combo_items(ConnectionDialog& d)
{
    Names items;
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(d.port_combo));
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
         more = gtk_tree_model_iter_next(model, &iter)) {
        g_autofree char* text = nullptr;
        gtk_tree_model_get(model, &iter, 0, &text, -1);
        items.push_back(text ? text : "");
    }
    return items;
}

// Opens the dialog and waits until the port list has been delivered.
inline bool open_and_wait_for_ports(ConnectionDialog& d, size_t expected_items)
{
    open_connection_dialog(d);
    return run_until([&] { return combo_items(d).size() == expected_items; }, 5000);
}
