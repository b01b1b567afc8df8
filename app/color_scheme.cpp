#include "app/color_scheme.hpp"

#include <gtk/gtk.h>

namespace {

constexpr const char* interface_schema = "org.gnome.desktop.interface";
constexpr const char* scheme_key = "color-scheme";
constexpr const char* portal_name = "org.freedesktop.portal.Desktop";
constexpr const char* portal_path = "/org/freedesktop/portal/desktop";
constexpr const char* portal_settings = "org.freedesktop.portal.Settings";
constexpr const char* appearance = "org.freedesktop.appearance";
constexpr const char* dark_property = "gtk-application-prefer-dark-theme";

// Follows the desktop for one GtkSettings; lives as that object's data.
struct SchemeFollower {
    GtkSettings* settings = nullptr;  // borrowed: it owns this record
    bool gtk_own_choice = false;
    // Owned.
    GSettings* interface = nullptr;       // null without the schema or its key
    GDBusConnection* bus = nullptr;       // null without a session bus
    GCancellable* portal_read = nullptr;  // the Read under way, if any
    guint portal_watch = 0;
    guint portal_signal = 0;
    // Set once the portal has answered: it speaks for the whole desktop
    // (GNOME's key included), so GSettings is then passed over.
    bool portal_answers = false;

    ~SchemeFollower();
};

void cancel_portal_read(SchemeFollower& follower)
{
    if (follower.portal_read) {
        g_cancellable_cancel(follower.portal_read);
        g_clear_object(&follower.portal_read);
    }
}

SchemeFollower::~SchemeFollower()
{
    cancel_portal_read(*this);
    if (portal_watch)
        g_bus_unwatch_name(portal_watch);
    if (portal_signal)
        g_dbus_connection_signal_unsubscribe(bus, portal_signal);
    if (interface)
        g_signal_handlers_disconnect_by_data(interface, this);
    g_clear_object(&interface);
    g_clear_object(&bus);
}

void apply(SchemeFollower& follower, SchemePreference preference)
{
    gboolean dark = prefer_dark_theme(preference, follower.gtk_own_choice);
    gboolean now = FALSE;
    g_object_get(follower.settings, dark_property, &now, nullptr);
    // Every set restyles every window, even to the same value.
    if (now != dark)
        g_object_set(follower.settings, dark_property, dark, nullptr);
}

void apply_gsettings(SchemeFollower& follower)
{
    if (!follower.interface || follower.portal_answers)
        return;
    g_autofree char* value = g_settings_get_string(follower.interface, scheme_key);
    apply(follower, scheme_from_gsettings(value));
}

void on_interface_changed(GSettings*, const char*, gpointer data)
{
    apply_gsettings(*static_cast<SchemeFollower*>(data));
}

// The portal's value, which Read hands back wrapped in a second variant.
uint32_t portal_number(GVariant* value)
{
    g_autoptr(GVariant) inner = g_variant_ref(value);
    while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
        GVariant* unwrapped = g_variant_get_variant(inner);
        g_variant_unref(inner);
        inner = unwrapped;
    }
    return g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(inner) : 0;
}

void apply_portal(SchemeFollower& follower, GVariant* value)
{
    follower.portal_answers = true;
    apply(follower, scheme_from_portal(portal_number(value)));
}

void on_portal_read(GObject* bus, GAsyncResult* result, gpointer data)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
    // Cancelled means the follower may be gone; any other error is a
    // portal without the appearance settings, and GSettings stays.
    if (!reply)
        return;
    g_autoptr(GVariant) value = nullptr;
    g_variant_get(reply, "(v)", &value);
    apply_portal(*static_cast<SchemeFollower*>(data), value);
}

void on_portal_appeared(GDBusConnection* bus, const char*, const char*, gpointer data)
{
    auto& follower = *static_cast<SchemeFollower*>(data);
    cancel_portal_read(follower);
    follower.portal_read = g_cancellable_new();
    g_dbus_connection_call(bus, portal_name, portal_path, portal_settings, "Read",
                           g_variant_new("(ss)", appearance, scheme_key), G_VARIANT_TYPE("(v)"),
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, follower.portal_read, on_portal_read, data);
}

void on_portal_vanished(GDBusConnection*, const char*, gpointer data)
{
    auto& follower = *static_cast<SchemeFollower*>(data);
    cancel_portal_read(follower);
    follower.portal_answers = false;
    apply_gsettings(follower);
}

void on_setting_changed(GDBusConnection*, const char*, const char*, const char*, const char*,
                        GVariant* parameters, gpointer data)
{
    const char* group = nullptr;
    const char* key = nullptr;
    g_autoptr(GVariant) value = nullptr;
    g_variant_get(parameters, "(&s&sv)", &group, &key, &value);
    if (g_strcmp0(group, appearance) == 0 && g_strcmp0(key, scheme_key) == 0)
        apply_portal(*static_cast<SchemeFollower*>(data), value);
}

// GNOME's interface settings, when the schema with the key is installed;
// asking GSettings for a schema it lacks would abort the program.
GSettings* interface_settings()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return nullptr;
    g_autoptr(GSettingsSchema) schema = g_settings_schema_source_lookup(source, interface_schema, TRUE);
    if (!schema || !g_settings_schema_has_key(schema, scheme_key))
        return nullptr;
    return g_settings_new_full(schema, nullptr, nullptr);
}

void watch_portal(SchemeFollower& follower, GDBusConnection* bus)
{
    follower.bus = G_DBUS_CONNECTION(g_object_ref(bus));
    // Subscribed before the first Read, so no change falls between them.
    follower.portal_signal = g_dbus_connection_signal_subscribe(
        bus, portal_name, portal_settings, "SettingChanged", portal_path, appearance, G_DBUS_SIGNAL_FLAGS_NONE,
        on_setting_changed, &follower, nullptr);
    // Not started for us: a portal that is not running is not the
    // desktop's, and starting one can take seconds.
    follower.portal_watch = g_bus_watch_name_on_connection(bus, portal_name, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                           on_portal_appeared, on_portal_vanished, &follower,
                                                           nullptr);
}

void free_follower(gpointer follower)
{
    delete static_cast<SchemeFollower*>(follower);
}

}  // namespace

SchemePreference scheme_from_gsettings(std::string_view value)
{
    if (value == "prefer-dark")
        return SchemePreference::dark;
    if (value == "prefer-light")
        return SchemePreference::light;
    return SchemePreference::none;
}

SchemePreference scheme_from_portal(uint32_t value)
{
    switch (value) {
    case 1:
        return SchemePreference::dark;
    case 2:
        return SchemePreference::light;
    default:
        return SchemePreference::none;
    }
}

bool prefer_dark_theme(SchemePreference preference, bool gtk_own_choice)
{
    return preference == SchemePreference::none ? gtk_own_choice : preference == SchemePreference::dark;
}

void follow_desktop_color_scheme(GtkSettings* settings, GDBusConnection* session_bus)
{
    auto* follower = new SchemeFollower;
    follower->settings = settings;
    gboolean own = FALSE;
    g_object_get(settings, dark_property, &own, nullptr);
    follower->gtk_own_choice = own;
    g_object_set_data_full(G_OBJECT(settings), "brenvaldor-color-scheme", follower, free_follower);

    follower->interface = interface_settings();
    if (follower->interface) {
        g_signal_connect(follower->interface, "changed::color-scheme", G_CALLBACK(on_interface_changed),
                         follower);
        apply_gsettings(*follower);
    }
    if (session_bus)
        watch_portal(*follower, session_bus);
}
