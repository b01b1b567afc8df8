#include "setup/set_up_model.hpp"

#include <algorithm>
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

}  // namespace

void listen_to_set_up(SetUpModel& model, SetUpListener listener)
{
    model.listeners.push_back(std::move(listener));
}

void start_set_up(SetUpModel& model, const PollDefinition& poll)
{
    model.definitions.clear();
    DefinitionSetUp first;
    first.poll = poll;
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
    model.definitions.clear();
    for (DefinitionSetUp& definition : set_up.definitions) {
        definition.name = tidy_tab_name(definition.name);
        model.definitions.push_back(make_definition(model, std::move(definition)));
    }
    if (model.definitions.empty())
        model.definitions.push_back(make_definition(model, DefinitionSetUp{}));
    tell_change(model, SetUpChange::replaced);
    if (set_up.connection)
        set_connection(model, *set_up.connection);
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
    if (settings == model.connection)
        return;
    model.connection = settings;
    tell_change(model, SetUpChange::connection);
}

SetUpRecord set_up_of(const SetUpModel& model)
{
    SetUpRecord set_up;
    set_up.definitions.reserve(model.definitions.size());
    for (const auto& definition : model.definitions)
        set_up.definitions.push_back(*definition);
    set_up.connection = model.connection;
    return set_up;
}

void mark_set_up_stored(SetUpModel& model, std::string path)
{
    mark_set_up_stored(model.document, std::move(path));
    tell(model, SetUpChange::document);
}
