#include "connection/dialog_helpers.hpp"

#include <glib.h>

#include <fstream>

#include "connection/connection_dialog.hpp"
#include "support/gtk_test_env.hpp"

namespace fs = std::filesystem;

FakePortTree::FakePortTree(const std::vector<std::string>& names)
{
    g_autofree char* made = g_dir_make_tmp("ports-XXXXXX", nullptr);
    root_ = made;
    fs::path device = root_ / "sys/devices/usb1";
    fs::create_directories(device);
    fs::create_directories(root_ / "dev");
    for (const std::string& name : names) {
        fs::path tty = root_ / "sys/class/tty" / name;
        fs::create_directories(tty);
        fs::create_directory_symlink(device, tty / "device");
        std::ofstream(root_ / "dev" / name) << "";
    }
}

FakePortTree::~FakePortTree()
{
    std::error_code error;
    fs::remove_all(root_, error);
}

std::vector<std::string> combo_items(ConnectionDialog& dialog)
{
    std::vector<std::string> items;
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

std::string combo_entry_text(ConnectionDialog& dialog)
{
    GtkWidget* entry = gtk_combo_box_get_child(GTK_COMBO_BOX(dialog.port_combo));
    return gtk_editable_get_text(GTK_EDITABLE(entry));
}

int combo_active(ConnectionDialog& dialog)
{
    return gtk_combo_box_get_active(GTK_COMBO_BOX(dialog.port_combo));
}

void click(GtkButton* button)
{
    g_signal_emit_by_name(button, "clicked");
}

bool is_visible(ConnectionDialog& dialog)
{
    return gtk_widget_get_visible(GTK_WIDGET(dialog.window));
}

bool open_and_wait_for_ports(ConnectionDialog& dialog, size_t expected_items)
{
    open_connection_dialog(dialog);
    return run_until([&] { return combo_items(dialog).size() == expected_items; }, 5000);
}
