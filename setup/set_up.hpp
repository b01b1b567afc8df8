#pragma once
// What a set-up file keeps: the poll definitions, in the order of their
// tabs, and the connection settings. No GTK here.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
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

    // Given by the model, never by the file: the definition's for its
    // whole life (the views find it by this), and its key in the link.
    uint32_t serial = 0;
    uint16_t key = 0;
};

struct SetUpRecord {
    std::vector<DefinitionSetUp> definitions;
    // Read: none when the file has no connection lines. Written: none, or
    // the default settings, writes none.
    std::optional<ConnectionSettings> connection;
};
