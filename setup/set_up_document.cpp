#include "setup/set_up_document.hpp"

#include <utility>

namespace {

constexpr std::string_view program_name = "Brenvaldor";

}  // namespace

void mark_set_up_changed(SetUpDocument& document)
{
    document.changed = true;
}

void mark_set_up_stored(SetUpDocument& document, std::string path)
{
    document.path = std::move(path);
    document.changed = false;
}

std::string set_up_title(const SetUpDocument& document, std::string_view file_name)
{
    // The mark leads, as GNOME's editors put it, so a cut-off title keeps it.
    std::string title = document.changed ? "*" : "";
    if (!file_name.empty())
        title.append(file_name).append(" \u2014 ");
    return title.append(program_name);
}

std::string set_up_question(std::string_view file_name)
{
    if (file_name.empty())
        return "Save changes to the set-up?";
    return "Save changes to \u201c" + std::string(file_name) + "\u201d?";
}
