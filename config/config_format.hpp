#pragma once
// The configuration file's text: the header, one POLL line of the poll
// definition, the count line and one LABEL line per label. No GTK here.

#include <cstddef>
#include <string>
#include <string_view>

#include "link/link_state.hpp"
#include "table/label_store.hpp"

// The exact bytes of a saved file for poll and labels.
std::string write_configuration(const PollDefinition& poll, const LabelStore& labels);

struct ConfigReadResult {
    bool ok = true;
    size_t failed_line = 0;  // 1-based line of the failure, 0 when ok
};

// Reads text into poll and labels. Fields the text does not set keep their
// values in poll; labels is emptied first. On failure both hold whatever
// was read up to the failing line, so callers hand in working copies.
ConfigReadResult read_configuration(std::string_view text, PollDefinition& poll, LabelStore& labels);

// Label text escaping of the LABEL lines (without the surrounding quotes).
void append_escaped_label(std::string& out, std::string_view text);
std::string unescape_label(std::string_view text);
