#pragma once
// Real files for the Logger's tests: a fresh folder per test and the bytes
// a file holds. No GTK here, so the pure tests can use it too.

#include <glib.h>

#include <cstdlib>
#include <string>

// A fresh folder for the test's files, removed afterwards.
struct TempFolder {
    std::string path;
    TempFolder()
    {
        g_autoptr(GError) error = nullptr;
        g_autofree char* made = g_dir_make_tmp("logger-test-XXXXXX", &error);
        path = made ? made : "";
    }
    ~TempFolder()
    {
        g_autofree char* command = g_strdup_printf("rm -rf '%s'", path.c_str());
        (void)std::system(command);
    }
    std::string file(const char* name) const { return path + "/" + name; }
};

inline std::string contents_of(const std::string& path)
{
    g_autofree char* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &text, &length, nullptr))
        return "<missing>";
    return std::string(text, length);
}
