#pragma once
// The worked example of the configuration file: a definition, two labels
// (one with quotes to escape) and the exact bytes they are saved as.

#include "link/link_state.hpp"
#include "table/label_store.hpp"

inline const PollDefinition example_poll{1, 3, 100, 10, 500};

inline const char* const example_file =
    "Brenvaldor V.1.0.0\n"
    "POLL slave=1 fcode=3 address=100 length=10 scan_rate=500\n"
    "LABELS 2\n"
    "LABEL 100 \"Pump 1\"\n"
    "LABEL 105 \"Flow \\\"main\\\"\"\n";

inline LabelStore example_labels()
{
    LabelStore labels;
    set_label(labels, 100, "Pump 1");
    set_label(labels, 105, "Flow \"main\"");
    return labels;
}
