#pragma once
// Puts the serial port list into the Connection dialog's port combo box:
// built on a short-lived detached thread, handed back to the main loop.

#include <filesystem>
#include <string>
#include <vector>

#include "connection/serial_ports.hpp"

struct ConnectionDialog;

// The start-up data of one refresh; one owner at a time: the UI thread
// makes it, the port-list thread fills it, fill_port_combo frees it.
struct PortListJob {
    ConnectionDialog* dialog = nullptr;
    std::filesystem::path root;
    std::vector<std::string> ports;
};

// Starts body(job) on a detached thread; false if no thread could be started
// (the job then still belongs to the caller).
using PortThreadStarter = bool (*)(void (*body)(PortListJob*), PortListJob* job);
bool start_detached_port_thread(void (*body)(PortListJob*), PortListJob* job);

// Rebuilds the list in the background and fills the combo box when it
// arrives; fills it at once by the simple rule if no thread can be started.
void refresh_port_list(ConnectionDialog& dialog, PortThreadStarter start = start_detached_port_thread);

// The thread's body: lists the ports into job->ports and posts fill_port_combo.
void port_list_worker(PortListJob* job);
// Main-loop callback (payload: the PortListJob, freed here): the matching rule.
void fill_port_combo(void* job);
// The list made and filled on the calling (UI) thread by the simple rule.
void fill_port_combo_directly(ConnectionDialog& dialog);

// Shows content in the combo box, replacing its items.
void show_port_combo_content(ConnectionDialog& dialog, const PortComboContent& content);
