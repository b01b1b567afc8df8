#include "setup/set_up_model.hpp"

#include <glib.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <memory>
#include <utility>

#include "setup/definition_name.hpp"

namespace {

void tell(SetUpModel& model, SetUpChange change, uint32_t serial = 0)
{
    // A listener may add one of its own; those hear of the next change.
    size_t count = model.listeners.size();
    for (size_t i = 0; i < count; ++i)
        model.listeners[i](SetUpEvent{change, serial});
}

// A change the file keeps: the document is marked before the listeners
// hear of it, so that a title they write says so.
void tell_change(SetUpModel& model, SetUpChange change, uint32_t serial = 0)
{
    bool was_changed = model.document.changed;
    mark_set_up_changed(model.document);
    tell(model, change, serial);
    if (!was_changed)
        tell(model, SetUpChange::document);
}

uint16_t new_key(SetUpModel& model)
{
    do {
        ++model.last_key;
    } while (model.last_key == 0 || find_definition_by_key(model, model.last_key));
    return model.last_key;
}

std::unique_ptr<DefinitionSetUp> make_definition(SetUpModel& model, DefinitionSetUp definition)
{
    auto made = std::make_unique<DefinitionSetUp>(std::move(definition));
    made->serial = model.next_serial++;
    made->key = new_key(model);
    return made;
}

// The point at address of definition; false when that changes nothing.
bool store_point(DefinitionSetUp& definition, uint16_t address, const Point& point)
{
    auto held = definition.points.find(address);
    if (held == definition.points.end() ? is_empty_point(point) : held->second == point)
        return false;
    if (is_empty_point(point))
        definition.points.erase(held);
    else
        definition.points[address] = point;
    return true;
}

ConnectionSetUp* find_connection_by_name(SetUpModel& model, std::string_view name)
{
    for (ConnectionSetUp& connection : model.connections)
        if (connection.name == name)
            return &connection;
    return nullptr;
}

// name with " 2", " 3"... after it until no connection has it; a name at
// the longest a tab takes gives way to its number from the end.
std::string unique_connection_name(SetUpModel& model, std::string name)
{
    if (!find_connection_by_name(model, name))
        return name;
    for (unsigned number = 2;; ++number) {
        std::string suffix = " " + std::to_string(number);
        std::string candidate = tidy_tab_name(name + suffix);
        while (!candidate.ends_with(suffix) && !name.empty()) {
            name.erase(size_t(g_utf8_find_prev_char(name.data(), name.data() + name.size()) - name.data()));
            candidate = tidy_tab_name(name + suffix);
        }
        if (!find_connection_by_name(model, candidate))
            return candidate;
    }
}

// The name a connection gets when given none: "Connection 2" for the second.
std::string unnamed_connection_name(SetUpModel& model)
{
    std::string name = "Connection " + std::to_string(model.connections.size() + 1);
    return unique_connection_name(model, std::move(name));
}

ConnectionSetUp& push_connection(SetUpModel& model, std::string_view name, const ConnectionSettings& settings)
{
    std::string tidy = tidy_tab_name(name);
    tidy = tidy.empty() ? unnamed_connection_name(model) : unique_connection_name(model, std::move(tidy));
    model.connections.push_back(ConnectionSetUp{std::move(tidy), settings, model.next_serial++});
    return model.connections.back();
}

// A serial port as the system knows it: the device a link (such as
// /dev/serial/by-id/...) leads to, or the text as typed when there is none.
std::string resolved_port(const std::string& device)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(device.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : device;
}

bool opens_serial_port(const ConnectionSettings& settings)
{
    return !settings.use_tcp && !settings.device.empty();
}

}  // namespace

void listen_to_set_up(SetUpModel& model, SetUpListener listener)
{
    model.listeners.push_back(std::move(listener));
}

void start_set_up(SetUpModel& model, const PollDefinition& poll)
{
    model.definitions.clear();
    model.connections.clear();
    push_connection(model, first_connection_name, ConnectionSettings{});
    DefinitionSetUp first;
    first.poll = poll;
    first.connection = model.connections.front().serial;
    model.definitions.push_back(make_definition(model, std::move(first)));
}

DefinitionSetUp* find_definition(SetUpModel& model, uint32_t serial)
{
    for (auto& definition : model.definitions)
        if (definition->serial == serial)
            return definition.get();
    return nullptr;
}

DefinitionSetUp* find_definition_by_key(SetUpModel& model, uint16_t key)
{
    for (auto& definition : model.definitions)
        if (definition->key == key)
            return definition.get();
    return nullptr;
}

size_t definition_index(const SetUpModel& model, uint32_t serial)
{
    for (size_t i = 0; i < model.definitions.size(); ++i)
        if (model.definitions[i]->serial == serial)
            return i;
    return 0;
}

DefinitionSetUp* add_definition(SetUpModel& model, const PollDefinition& poll)
{
    DefinitionSetUp definition;
    definition.poll = poll;
    return add_whole_definition(model, std::move(definition));
}

DefinitionSetUp* add_whole_definition(SetUpModel& model, DefinitionSetUp definition)
{
    if (model.definitions.size() >= max_poll_definitions)
        return nullptr;
    definition.name = tidy_tab_name(definition.name);
    if (!find_connection(model, definition.connection) && !model.connections.empty())
        definition.connection = model.connections.front().serial;
    model.definitions.push_back(make_definition(model, std::move(definition)));
    DefinitionSetUp* added = model.definitions.back().get();
    tell_change(model, SetUpChange::added, added->serial);
    return added;
}

bool remove_definition(SetUpModel& model, uint32_t serial)
{
    if (model.definitions.size() <= 1 || !find_definition(model, serial))
        return false;
    model.definitions.erase(model.definitions.begin() + std::ptrdiff_t(definition_index(model, serial)));
    tell_change(model, SetUpChange::removed, serial);
    return true;
}

void move_definition(SetUpModel& model, uint32_t serial, size_t position)
{
    size_t from = definition_index(model, serial);
    if (!find_definition(model, serial) || position >= model.definitions.size() || position == from)
        return;
    std::unique_ptr<DefinitionSetUp> moved = std::move(model.definitions[from]);
    model.definitions.erase(model.definitions.begin() + std::ptrdiff_t(from));
    model.definitions.insert(model.definitions.begin() + std::ptrdiff_t(position), std::move(moved));
    tell_change(model, SetUpChange::moved, serial);
}

void replace_set_up(SetUpModel& model, SetUpRecord set_up)
{
    std::vector<uint32_t> old_connections;
    for (const ConnectionSetUp& connection : model.connections)
        old_connections.push_back(connection.serial);
    // A file that names no settings leaves the first connection's as they were.
    ConnectionSettings first = model.connections.empty() ? ConnectionSettings{} : model.connections.front().settings;
    model.connections.clear();
    push_connection(model, set_up.connection_name, set_up.connection.value_or(first));
    for (const ConnectionSetUp& more : set_up.more_connections)
        if (model.connections.size() < max_connections)
            push_connection(model, more.name, more.settings);
    model.definitions.clear();
    for (DefinitionSetUp& definition : set_up.definitions) {
        definition.name = tidy_tab_name(definition.name);
        size_t index = definition.connection < model.connections.size() ? definition.connection : 0;
        definition.connection = model.connections[index].serial;
        model.definitions.push_back(make_definition(model, std::move(definition)));
    }
    if (model.definitions.empty()) {
        DefinitionSetUp first;
        first.connection = model.connections.front().serial;
        model.definitions.push_back(make_definition(model, std::move(first)));
    }
    // The definitions first, so that no view still holds a removed one
    // when it hears of the connections.
    tell_change(model, SetUpChange::replaced);
    for (uint32_t serial : old_connections)
        tell_change(model, SetUpChange::connections, serial);
    for (const ConnectionSetUp& connection : model.connections)
        tell_change(model, SetUpChange::connections, connection.serial);
}

void set_definition_poll(SetUpModel& model, DefinitionSetUp& definition, const PollDefinition& poll)
{
    if (!same_block(definition.poll, poll))
        definition.key = new_key(model);
    bool changed = definition.poll != poll;
    definition.poll = poll;
    if (changed)
        tell_change(model, SetUpChange::poll, definition.serial);
    else
        tell(model, SetUpChange::poll, definition.serial);
}

void rename_definition(SetUpModel& model, DefinitionSetUp& definition, std::string_view name)
{
    std::string tidy = tidy_tab_name(name);
    if (tidy == definition.name)
        return;
    definition.name = std::move(tidy);
    tell_change(model, SetUpChange::name, definition.serial);
}

bool set_definition_label(SetUpModel& model, DefinitionSetUp& definition, uint16_t address, std::string_view text)
{
    const LabelEntry* held = find_label(definition.labels, address);
    bool differs = !held || held->text != text;
    if (!set_label(definition.labels, address, text))
        return false;
    if (differs)
        tell_change(model, SetUpChange::labels, definition.serial);
    return true;
}

void set_definition_format(SetUpModel& model, DefinitionSetUp& definition, ValueFormat format, WordOrder order)
{
    if (definition.format == format && definition.order == order)
        return;
    definition.format = format;
    definition.order = order;
    tell_change(model, SetUpChange::format, definition.serial);
}

void set_point(SetUpModel& model, DefinitionSetUp& definition, uint16_t address, const Point& point)
{
    if (store_point(definition, address, point))
        tell_change(model, SetUpChange::points, definition.serial);
}

bool set_labels_and_points(SetUpModel& model, DefinitionSetUp& definition, const std::vector<LabelEntry>& labels,
                           const std::map<uint16_t, Point>& points)
{
    bool labelled = false;
    bool stored = true;
    for (const LabelEntry& label : labels) {
        const LabelEntry* held = find_label(definition.labels, label.address);
        bool differs = !held || held->text != label.text;
        if (!set_label(definition.labels, label.address, label.text)) {
            stored = false;
            break;
        }
        labelled |= differs;
    }
    if (labelled)
        tell_change(model, SetUpChange::labels, definition.serial);
    bool pointed = false;
    for (const auto& [address, point] : points)
        pointed |= store_point(definition, address, point);
    if (pointed)
        tell_change(model, SetUpChange::points, definition.serial);
    return stored;
}

bool set_charted(SetUpModel& model, DefinitionSetUp& definition, uint16_t address, bool charted)
{
    auto found = std::find(definition.chart.begin(), definition.chart.end(), address);
    if (charted == (found != definition.chart.end()))
        return false;
    if (charted)
        definition.chart.push_back(address);
    else
        definition.chart.erase(found);
    tell_change(model, SetUpChange::chart, definition.serial);
    return true;
}

void set_connection(SetUpModel& model, const ConnectionSettings& settings)
{
    assert(!model.connections.empty());
    set_connection_settings(model, model.connections.front().serial, settings);
}

ConnectionSetUp* find_connection(SetUpModel& model, uint32_t serial)
{
    for (ConnectionSetUp& connection : model.connections)
        if (connection.serial == serial)
            return &connection;
    return nullptr;
}

size_t connection_index(const SetUpModel& model, uint32_t serial)
{
    for (size_t i = 0; i < model.connections.size(); ++i)
        if (model.connections[i].serial == serial)
            return i;
    return 0;
}

ConnectionSetUp& connection_of(SetUpModel& model, const DefinitionSetUp& definition)
{
    assert(!model.connections.empty());
    ConnectionSetUp* connection = find_connection(model, definition.connection);
    return connection ? *connection : model.connections.front();
}

void set_connection_settings(SetUpModel& model, uint32_t serial, const ConnectionSettings& settings)
{
    ConnectionSetUp* connection = find_connection(model, serial);
    if (!connection || connection->settings == settings)
        return;
    connection->settings = settings;
    tell_change(model, SetUpChange::connection, serial);
}

ConnectionSetUp* add_connection(SetUpModel& model, std::string_view name, const ConnectionSettings& settings)
{
    if (model.connections.size() >= max_connections)
        return nullptr;
    uint32_t serial = push_connection(model, name, settings).serial;
    tell_change(model, SetUpChange::connections, serial);
    return find_connection(model, serial);
}

bool remove_connection(SetUpModel& model, uint32_t serial)
{
    if (model.connections.empty() || model.connections.front().serial == serial || !find_connection(model, serial))
        return false;
    for (const auto& definition : model.definitions)
        if (definition->connection == serial)
            return false;
    model.connections.erase(model.connections.begin() + std::ptrdiff_t(connection_index(model, serial)));
    tell_change(model, SetUpChange::connections, serial);
    return true;
}

bool rename_connection(SetUpModel& model, uint32_t serial, std::string_view name)
{
    ConnectionSetUp* connection = find_connection(model, serial);
    std::string tidy = tidy_tab_name(name);
    ConnectionSetUp* holder = find_connection_by_name(model, tidy);
    if (!connection || tidy.empty() || (holder && holder != connection))
        return false;
    if (holder != connection) {
        connection->name = std::move(tidy);
        tell_change(model, SetUpChange::connection, serial);
    }
    return true;
}

void set_definition_connection(SetUpModel& model, DefinitionSetUp& definition, uint32_t connection)
{
    if (definition.connection == connection || !find_connection(model, connection))
        return;
    definition.connection = connection;
    tell_change(model, SetUpChange::definition_connection, definition.serial);
}

std::string connection_refusal(const SetUpModel& model, uint32_t serial, const ConnectionSettings& settings)
{
    if (!opens_serial_port(settings))
        return {};
    std::string port = resolved_port(settings.device);
    for (const ConnectionSetUp& other : model.connections)
        if (other.serial != serial && opens_serial_port(other.settings) && resolved_port(other.settings.device) == port)
            return "\u201c" + shown_name(other.name) + "\u201d uses " + other.settings.device + " already";
    return {};
}

std::string connection_limit_text()
{
    return "A set-up holds at most " + std::to_string(max_connections) + " connections";
}

SetUpRecord set_up_of(const SetUpModel& model)
{
    SetUpRecord set_up;
    set_up.definitions.reserve(model.definitions.size());
    for (const auto& definition : model.definitions) {
        set_up.definitions.push_back(*definition);
        set_up.definitions.back().connection = uint32_t(connection_index(model, definition->connection));
    }
    if (!model.connections.empty()) {
        set_up.connection = model.connections.front().settings;
        set_up.connection_name = model.connections.front().name;
        set_up.more_connections.assign(model.connections.begin() + 1, model.connections.end());
    }
    return set_up;
}

void mark_set_up_stored(SetUpModel& model, std::string path)
{
    mark_set_up_stored(model.document, std::move(path));
    tell(model, SetUpChange::document);
}
