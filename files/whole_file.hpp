#pragma once
// Whole-file reading and crash-safe replacing of a file: the set-up file,
// the Logger's and the chart's exports, the scan's table.
// Both follow libmodbus's habit: false with errno set on failure.

#include <string>
#include <string_view>

// Reads the whole file at path into contents.
bool read_whole_file(const char* path, std::string& contents);

// Writes bytes to a new file beside path's target, flushes it to storage
// and renames it over the target, so that a failure at any point leaves
// the old file as it was. A symbolic link at path is kept and its target
// replaced; the old file's permission bits and owner are kept. A target the
// user may not write, or whose owner cannot be kept, is refused; where the
// folder cannot take a new file, an existing target is overwritten in place.
bool replace_file(const char* path, std::string_view bytes);

// Why reading or writing the file at path failed with error (an errno), in
// words for the user: what path names when that is no regular file ("Is a
// named pipe", "Is a device"), else the system's text for error.
std::string file_failure_reason(const char* path, int error);
