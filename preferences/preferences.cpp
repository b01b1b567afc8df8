#include "preferences/preferences.hpp"

#include <cerrno>

#include <glib.h>

#include "files/whole_file.hpp"

namespace {

constexpr const char* group = "Addresses";
constexpr const char* notation_field = "notation";

bool store_preferences(const Preferences& preferences, std::string* reason)
{
    g_autoptr(GKeyFile) file = g_key_file_new();
    // Keep what a later version of the program wrote beside our keys.
    g_key_file_load_from_file(file, preferences.path.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    g_key_file_set_string(file, group, notation_field, std::string(notation_key(preferences.notation)).c_str());
    gsize length = 0;
    g_autofree char* text = g_key_file_to_data(file, &length, nullptr);
    g_autofree char* folder = g_path_get_dirname(preferences.path.c_str());
    if (g_mkdir_with_parents(folder, 0700) == 0 && replace_file(preferences.path.c_str(), {text, length}))
        return true;
    int error = errno;
    if (reason)
        *reason = file_failure_reason(preferences.path.c_str(), error);
    return false;
}

}  // namespace

std::string default_preferences_path()
{
    g_autofree char* path = g_build_filename(g_get_user_config_dir(), "brenvaldor", "preferences.ini", nullptr);
    return path;
}

Preferences load_preferences(std::string path)
{
    Preferences preferences;
    preferences.path = std::move(path);
    g_autoptr(GKeyFile) file = g_key_file_new();
    if (!g_key_file_load_from_file(file, preferences.path.c_str(), G_KEY_FILE_NONE, nullptr))
        return preferences;
    g_autofree char* key = g_key_file_get_string(file, group, notation_field, nullptr);
    if (key)
        preferences.notation = notation_from_key(key).value_or(AddressNotation::protocol);
    return preferences;
}

void listen_to_preferences(Preferences& preferences, std::function<void()> listener)
{
    preferences.listeners.push_back(std::move(listener));
}

bool set_address_notation(Preferences& preferences, AddressNotation notation, std::string* reason)
{
    if (preferences.notation == notation)
        return true;
    preferences.notation = notation;
    bool kept = preferences.path.empty() || store_preferences(preferences, reason);
    for (const auto& listener : preferences.listeners)
        listener();
    return kept;
}
