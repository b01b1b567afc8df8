#include "connection/dialog_helpers.hpp"

#include "support/gtk_test_env.hpp"

Names combo_items(ConnectionDialog& dialog)
{
    Names items;
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(dialog.port_combo));
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
         more = gtk_tree_model_iter_next(model, &iter)) {
        g_autofree char* text = nullptr;
        gtk_tree_model_get(model, &iter, 0, &text, -1);
        items.push_back(text ? text : "");
    }
    return items;
}

bool open_and_wait_for_ports(ConnectionDialog& dialog, size_t expected_items)
{
    open_connection_dialog(dialog);
    return run_until([&] { return combo_items(dialog).size() == expected_items; }, 5000);
}
