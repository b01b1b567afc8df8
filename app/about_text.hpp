#pragma once
// The text of the About dialog's comments, without any widget.

#include <string>

// The lines of the comments joined by newlines, ending with one line per
// open-source component. Throws std::bad_alloc when memory runs out.
std::string build_about_comments();

// Shown instead when the comments cannot be built.
inline constexpr const char* about_comments_fallback = "Failed to build comments";
