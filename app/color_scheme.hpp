#pragma once
// The desktop's choice of a light or a dark style. GTK 4.8 follows it only
// through libadwaita; without that, the program sets GtkSettings'
// gtk-application-prefer-dark-theme itself, at start and on every change.
// The desktop tells through the settings portal (org.freedesktop.appearance
// color-scheme) while one runs on the session bus, and else through GNOME's
// org.gnome.desktop.interface color-scheme key where that schema is
// installed; with neither, the style stays as GTK chose it.

#include <cstdint>
#include <string_view>

typedef struct _GtkSettings GtkSettings;
typedef struct _GDBusConnection GDBusConnection;

enum class SchemePreference { none, dark, light };

// The GSettings key's nicks: "prefer-dark", "prefer-light"; "default" and
// anything unknown are no preference.
SchemePreference scheme_from_gsettings(std::string_view value);
// The portal's numbers: 1 dark, 2 light; 0 and anything unknown none.
SchemePreference scheme_from_portal(uint32_t value);
// The value for gtk-application-prefer-dark-theme: without a preference,
// the one GTK had before the desktop's applied (the user's settings.ini).
bool prefer_dark_theme(SchemePreference preference, bool gtk_own_choice);

// Makes settings follow the desktop for as long as it lives; session_bus
// (may be null) is where a portal is looked for. User-interface thread.
void follow_desktop_color_scheme(GtkSettings* settings, GDBusConnection* session_bus);
