#pragma once
// A real folder under the system's temporary folder for one test, removed
// with everything in it when the test ends.

#include <glib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

struct TempFolder {
    std::string path;

    TempFolder()
    {
        g_autofree char* made = g_dir_make_tmp("brenvaldor-test-XXXXXX", nullptr);
        path = made ? made : "";
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string file(std::string_view name) const { return path + "/" + std::string(name); }
};

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Names in the folder, to see that no temporary file was left behind.
inline size_t entry_count(const std::string& folder)
{
    auto entries = std::filesystem::directory_iterator(folder);
    return size_t(std::distance(begin(entries), end(entries)));
}
