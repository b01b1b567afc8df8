#pragma once
// The configuration file's text: the header, then the connection's
// CONNECTION and DEVICE lines, then per poll definition its POLL line, an
// optional NAME line, the count line, one LABEL line per label, the lines
// of each point that has anything set (a POINT line followed by its VALUE
// and BIT lines, see point_format.hpp) and one CHART line per charted
// address. No GTK here.
//
// The POLL line carries format= and order= only when they differ from
// UINT and AB_CD, a definition without a name has no NAME line, nothing
// charted has no CHART line and default connection settings have no
// CONNECTION line and no point has no POINT line, so one definition with
// nothing else set is written as the program always wrote it. Each POLL
// line after the first starts another definition; LABEL, NAME, POINT,
// VALUE, BIT and CHART lines belong to the POLL line before them (those
// before any, to the first).
//
// Several connections: the first keeps the CONNECTION and DEVICE lines,
// and its name, unless it is the one the model gives, goes on a
// CONNECTION_NAME line. Each further one is a MORE_CONNECTION line with
// its name, then its MORE_CONNECTION_SETTINGS line (the pieces of a
// CONNECTION line; none for default settings) and MORE_CONNECTION_DEVICE
// line; a POLL line on one of them carries connection=, its index (the
// first is 0, and writes none). An earlier program passes over these lines
// and that piece, and polls every definition over the first connection;
// it never takes a further connection's settings for the first's.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_state.hpp"
#include "setup/label_store.hpp"
#include "setup/set_up.hpp"

// The exact bytes of a saved file for the definitions, in their order.
std::string write_configuration(const SetUpRecord& set_up);
std::string write_configuration(const std::vector<DefinitionSetUp>& definitions);
std::string write_configuration(const PollDefinition& poll, const LabelStore& labels);

struct ConfigReadResult {
    bool ok = true;
    size_t failed_line = 0;  // 1-based line of the failure, 0 when ok
    // The failing line starts one definition more than the program takes.
    bool too_many_definitions = false;
};

// Reads text into definitions, at least one and at most
// max_poll_definitions. Fields the text does not set keep the values of
// base in the first definition, and of the definition before in each
// other. On failure definitions holds whatever was read up to the failing
// line.
ConfigReadResult read_configuration(std::string_view text, const PollDefinition& base, SetUpRecord& set_up);
ConfigReadResult read_configuration(std::string_view text, const PollDefinition& base,
                                    std::vector<DefinitionSetUp>& definitions);
// The first definition only, into poll and labels (labels emptied first).
ConfigReadResult read_configuration(std::string_view text, PollDefinition& poll, LabelStore& labels);

// Label text escaping of the LABEL lines (without the surrounding quotes).
void append_escaped_label(std::string& out, std::string_view text);
std::string unescape_label(std::string_view text);
// The text of a line's rest that is a quoted, escaped text (blanks around
// it allowed), as LABEL, NAME and DEVICE lines hold it; nothing when rest
// does not open with a quote or the text is not UTF-8. A missing closing
// quote is forgiven: the text runs to the line's end.
std::optional<std::string> read_quoted_label(std::string_view rest);
