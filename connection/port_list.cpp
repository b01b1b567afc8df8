#include "connection/port_list.hpp"

#include <memory>
#include <new>
#include <exception>
#include <thread>

#include "connection/connect.hpp"
#include "connection/connection_dialog.hpp"
#include "link/link_state.hpp"
#include "handover/ui_post.hpp"
#include "setup/set_up_model.hpp"

namespace {

// The port of the connection the dialog sets up, as the set-up keeps it.
std::string current_stored_name(ConnectionDialog& dialog)
{
    const ConnectionSetUp* connection = dialog.model ? find_connection(*dialog.model, dialog_connection(dialog)) : nullptr;
    return connection ? stored_port_name(connection->settings) : std::string();
}

GtkEditable* combo_entry(ConnectionDialog& dialog)
{
    return GTK_EDITABLE(gtk_combo_box_get_child(GTK_COMBO_BOX(dialog.port_combo)));
}

}  // namespace

bool start_detached_port_thread(void (*body)(PortListJob*), PortListJob* job)
{
    try {
        std::thread(body, job).detach();
    } catch (const std::exception&) {
        // No thread (system_error) or no memory for its start-up state.
        return false;
    }
    return true;
}

void refresh_port_list(ConnectionDialog& dialog, PortThreadStarter start)
{
    PortListJob* job = new (std::nothrow) PortListJob{&dialog, dialog.port_root, {}};
    if (job && start(port_list_worker, job))
        return;
    delete job;
    fill_port_combo_directly(dialog);
}

void port_list_worker(PortListJob* job)
{
    try {
        for (std::string& name : list_serial_ports(job->root)) {
            try {
                job->ports.push_back(std::move(name));
            } catch (const std::bad_alloc&) {
                // One name lost to a lack of memory; the others still count.
            }
        }
    } catch (const std::bad_alloc&) {
        // No list at all: the combo box then shows only the stored name.
    }
    post_to_ui(fill_port_combo, job);
}

void fill_port_combo(void* data)
{
    std::unique_ptr<PortListJob> job(static_cast<PortListJob*>(data));
    show_port_combo_content(*job->dialog, match_port_list(job->ports, current_stored_name(*job->dialog)));
}

void fill_port_combo_directly(ConnectionDialog& dialog)
{
    std::vector<std::string> ports;
    try {
        ports = list_serial_ports(dialog.port_root);
    } catch (const std::bad_alloc&) {
    }
    show_port_combo_content(dialog, simple_port_fill(ports, current_stored_name(dialog)));
}

void show_port_combo_content(ConnectionDialog& dialog, const PortComboContent& content)
{
    gtk_combo_box_text_remove_all(dialog.port_combo);
    for (const std::string& name : content.items)
        gtk_combo_box_text_append_text(dialog.port_combo, name.c_str());
    if (content.active >= 0)
        gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.port_combo), content.active);
    else
        gtk_editable_set_text(combo_entry(dialog), content.entry_text.c_str());
}
