#pragma once
// What a set-up file keeps: the poll definitions, in the order of their
// tabs, and the connection settings. No GTK here.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_state.hpp"
#include "setup/label_store.hpp"
#include "setup/point.hpp"
#include "values/value_format.hpp"
#include "values/wide_value.hpp"

struct DefinitionSetUp {
    PollDefinition poll;
    LabelStore labels;
    std::string name;  // the user's; empty: the title says what is polled
    ValueFormat format = ValueFormat::UINT;
    WordOrder order = WordOrder::AB_CD;
    std::vector<uint16_t> chart;  // the addresses charted from it, in the order charted
    std::map<uint16_t, Point> points;  // by address; none empty
    // The connection it polls over: in the model, that connection's serial;
    // in a SetUpRecord, its index in the record's connections.
    uint32_t connection = 0;

    // Given by the model, never by the file: the definition's for its
    // whole life (the views find it by this), and its key in the link.
    uint32_t serial = 0;
    uint16_t key = 0;
};

// A named connection of the set-up: the Connection dialog's settings.
struct ConnectionSetUp {
    std::string name;  // unique in the set-up; never empty
    ConnectionSettings settings;
    // Given by the model, never by the file: the connection's for its
    // whole life (definitions and links find it by this).
    uint32_t serial = 0;
};

// At most this many connections in one set-up.
inline constexpr size_t max_connections = 16;
// What the model names the first connection when nothing names it (a file
// of one connection never does).
inline constexpr std::string_view first_connection_name = "Connection 1";

struct SetUpRecord {
    std::vector<DefinitionSetUp> definitions;
    // Read: none when the file has no connection lines. Written: none, or
    // the default settings, writes none.
    std::optional<ConnectionSettings> connection;
    // The further connections, after the first (which is connection above,
    // named connection_name), when the file names several.
    std::string connection_name;
    std::vector<ConnectionSetUp> more_connections;
};
