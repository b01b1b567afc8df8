#pragma once
// Shared by the connection tests: a fake /sys and /dev tree and readers of
// the port combo box.

#include <gtk/gtk.h>

#include <filesystem>
#include <string>
#include <vector>

struct ConnectionDialog;

// A temporary root holding serial ports that the port list accepts.
class FakePortTree {
public:
    explicit FakePortTree(const std::vector<std::string>& names);
    ~FakePortTree();
    std::string root() const { return root_.string(); }

private:
    std::filesystem::path root_;
};

std::vector<std::string> combo_items(ConnectionDialog& dialog);
std::string combo_entry_text(ConnectionDialog& dialog);
int combo_active(ConnectionDialog& dialog);
void click(GtkButton* button);
bool is_visible(ConnectionDialog& dialog);
// Opens the dialog and waits until the port list has been delivered.
bool open_and_wait_for_ports(ConnectionDialog& dialog, size_t expected_items);
