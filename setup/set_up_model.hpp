#pragma once
// What the user set up: the poll definitions in the order of their tabs,
// each with its name, labels, Format, Order and the addresses it charts,
// and the connection settings. The windows show it and change it only
// through the functions below, each of which tells every listener what
// changed, on the thread that called it (the user-interface thread). The
// file keeps exactly this (setup/set_up.hpp). No GTK here.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_state.hpp"
#include "setup/set_up.hpp"
#include "setup/set_up_document.hpp"

enum class SetUpChange {
    added,       // definition: a new one, at the end
    removed,     // definition: gone (it is no longer in the model)
    moved,       // definition: at another place in the order
    replaced,    // every definition (a load)
    poll,        // definition: what it polls
    name,        // definition
    labels,      // definition
    format,      // definition: Format or Order
    chart,       // definition: the addresses it charts
    points,      // definition: a point's type, scale, unit or names
    connection,  // serial: that connection's settings, or its name
    connections,  // a connection added or removed (serial: which)
    definition_connection,  // definition: polls over another connection
    document,    // the file, or whether the set-up changed since
};

struct SetUpEvent {
    SetUpChange change = SetUpChange::document;
    uint32_t serial = 0;  // the definition's, for the changes of one

    bool operator==(const SetUpEvent&) const = default;
};

using SetUpListener = std::function<void(const SetUpEvent&)>;

struct SetUpModel {
    // In the order of the tabs; never empty once started. Each is held on
    // its own, so a view may keep a pointer to the one it shows until that
    // one is removed.
    std::vector<std::unique_ptr<DefinitionSetUp>> definitions;
    // Never empty once started; the first is the one the program always
    // had, which a new definition polls over unless told otherwise.
    std::vector<ConnectionSetUp> connections;
    SetUpDocument document;
    std::vector<SetUpListener> listeners;
    uint32_t next_serial = 1;
    uint16_t last_key = 0;  // keys go on from here, skipping 0
};

// Told of every change from now on, after the listeners before it.
void listen_to_set_up(SetUpModel& model, SetUpListener listener);

// The first definition and the first connection ("Connection 1", default
// settings), before any view shows the model: no change.
void start_set_up(SetUpModel& model, const PollDefinition& poll);

DefinitionSetUp* find_definition(SetUpModel& model, uint32_t serial);
DefinitionSetUp* find_definition_by_key(SetUpModel& model, uint16_t key);
size_t definition_index(const SetUpModel& model, uint32_t serial);

// A new definition at the end; null when the model holds the most the
// link takes.
DefinitionSetUp* add_definition(SetUpModel& model, const PollDefinition& poll);
// definition whole (its name tidied, labels, points and Format) as a new
// one at the end, told once when it holds them all, so that a view builds
// it once; null when the model holds the most the link takes.
DefinitionSetUp* add_whole_definition(SetUpModel& model, DefinitionSetUp definition);
// False for the last one, which stays.
bool remove_definition(SetUpModel& model, uint32_t serial);
void move_definition(SetUpModel& model, uint32_t serial, size_t position);
// Every definition and connection by those of set_up (at least one of
// each), each with a new serial (and key); a definition on a connection
// the record lacks polls over the first, whose settings stay when the
// record has none. Told as replaced, then a connections change for each
// old connection (gone) and each new one.
void replace_set_up(SetUpModel& model, SetUpRecord set_up);

// Another block gets a new key, so that nothing read for the old block
// is ever taken for the new one's. Listeners hear of it even when poll is
// what the definition had.
void set_definition_poll(SetUpModel& model, DefinitionSetUp& definition, const PollDefinition& poll);
// The name as tidy_tab_name makes it; empty: the title says what is polled.
void rename_definition(SetUpModel& model, DefinitionSetUp& definition, std::string_view name);
// False when memory ran out (nothing changed then).
bool set_definition_label(SetUpModel& model, DefinitionSetUp& definition, uint16_t address, std::string_view text);
void set_definition_format(SetUpModel& model, DefinitionSetUp& definition, ValueFormat format, WordOrder order);
// The point at address of definition; an empty point removes it.
void set_point(SetUpModel& model, DefinitionSetUp& definition, uint16_t address, const Point& point);
// Many labels and points of definition set at once (an empty point removes
// its address's), told as one labels and one points change, each only when
// it changed something. False when memory ran out for a label; the labels
// before it and the points are set.
bool set_labels_and_points(SetUpModel& model, DefinitionSetUp& definition, const std::vector<LabelEntry>& labels,
                           const std::map<uint16_t, Point>& points);
// Charts address of definition, or no more; false when that changes nothing.
bool set_charted(SetUpModel& model, DefinitionSetUp& definition, uint16_t address, bool charted);
// The first connection's settings (the only one's, in a set-up of one).
void set_connection(SetUpModel& model, const ConnectionSettings& settings);

ConnectionSetUp* find_connection(SetUpModel& model, uint32_t serial);
// The connection definition polls over (always one of the model's).
ConnectionSetUp& connection_of(SetUpModel& model, const DefinitionSetUp& definition);
// settings for the connection of serial, told once when they differ.
void set_connection_settings(SetUpModel& model, uint32_t serial, const ConnectionSettings& settings);
// A new connection at the end, under name made unique ("Connection 2" when
// empty); null at max_connections.
ConnectionSetUp* add_connection(SetUpModel& model, std::string_view name, const ConnectionSettings& settings);
// False for the first, and for one a definition still polls over.
bool remove_connection(SetUpModel& model, uint32_t serial);
// False, and nothing changed, when another connection has that name or it is empty.
bool rename_connection(SetUpModel& model, uint32_t serial, std::string_view name);
void set_definition_connection(SetUpModel& model, DefinitionSetUp& definition, uint32_t connection);
// Why settings cannot be those of the connection of serial (0: a new one)
// beside the others: another connection opens the same serial port
// ("“Drive” uses /dev/ttyUSB0 already"). Empty when they can.
std::string connection_refusal(const SetUpModel& model, uint32_t serial, const ConnectionSettings& settings);
// The place of the connection of serial among the model's (0 when it has none such).
size_t connection_index(const SetUpModel& model, uint32_t serial);
// Why no further connection is taken: "A set-up holds at most 16 connections".
std::string connection_limit_text();

// What the file keeps, copied out.
SetUpRecord set_up_of(const SetUpModel& model);
// The set-up is now what the file at path holds (loaded or saved).
void mark_set_up_stored(SetUpModel& model, std::string path);
