#pragma once
// A temporary root holding the parts of /sys and /dev that the port list
// reads. No GTK here: the pure port tests use it too.

#include <glib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class FakePortTree {
public:
    using Path = std::filesystem::path;
    explicit FakePortTree(const std::vector<std::string>& ports = {})
    {
        g_autofree char* made = g_dir_make_tmp("ports-XXXXXX", nullptr);
        root_ = made;
        std::filesystem::create_directories(root_ / "sys/devices/serial");
        std::filesystem::create_directories(root_ / "dev");
        for (const std::string& name : ports)
            add_port(name);
    }
    ~FakePortTree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // A tty with a device behind it and a node in /dev; a "type" attribute only when type is given.
    void add_port(const std::string& name, const char* type = nullptr)
    {
        Path tty = add_tty(name);
        std::filesystem::create_directory_symlink(root_ / "sys/devices/serial", tty / "device");
        if (type)
            std::ofstream(tty / "type") << type;
        add_node(name);
    }
    Path add_tty(const std::string& name)
    {
        std::filesystem::create_directories(root_ / "sys/class/tty" / name);
        return root_ / "sys/class/tty" / name;
    }
    void add_node(const std::string& name) { std::ofstream(root_ / "dev" / name) << ""; }
    std::string root() const { return root_.string(); }

private:
    Path root_;
};
