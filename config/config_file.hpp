#pragma once
// Whole-file reading and crash-safe replacing of a configuration file.
// Both follow libmodbus's habit: false with errno set on failure.

#include <string>
#include <string_view>

// Reads the whole file at path into contents.
bool read_whole_file(const char* path, std::string& contents);

// Writes bytes to a new file beside path's target, flushes it to storage
// and renames it over the target, so that a failure at any point leaves
// the old file as it was. A symbolic link at path is kept and its target
// replaced; the old file's permission bits are kept.
bool replace_file(const char* path, std::string_view bytes);
