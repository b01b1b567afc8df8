#pragma once
// Real files for the Logger's tests; no GTK here, so the pure tests use it too.

#include <glib.h>

#include <filesystem>
#include <string>

// A fresh folder for the test's files, removed afterwards.
struct TempFolder {
    std::string path = std::filesystem::temp_directory_path() / "logger-test-XXXXXX";
    TempFolder() { path = g_mkdtemp(path.data()) ? path : ""; }
    ~TempFolder() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
    std::string file(const char* name) const { return path + "/" + name; }
};

inline std::string contents_of(const std::string& path)
{
    g_autofree char* text = nullptr;
    gsize length = 0;
    return g_file_get_contents(path.c_str(), &text, &length, nullptr) ? std::string(text, length) : "<missing>";
}
