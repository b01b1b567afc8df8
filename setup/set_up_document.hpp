#pragma once
// What the window's set-up file is and whether the user changed the set-up
// since it was last loaded or saved. No GTK here.

#include <string>
#include <string_view>

struct SetUpDocument {
    std::string path;  // the file last loaded or saved; empty: none yet
    bool changed = false;
};

// A change the file keeps.
void mark_set_up_changed(SetUpDocument& document);
// The set-up now is what the file at path holds.
void mark_set_up_stored(SetUpDocument& document, std::string path);

// The window's title: "Brenvaldor" without a file, "name — Brenvaldor"
// with one, either after a "*" while changed. file_name is the file's
// name as the user reads it.
std::string set_up_title(const SetUpDocument& document, std::string_view file_name);
// The question before the set-up is dropped, naming the file when there is one.
std::string set_up_question(std::string_view file_name);
