// Appending bytes to a file: opened, written and closed for every record or line.
#pragma once

#include <string>

#include "station/bytes.h"

namespace ombrix {

// Appends the bytes as they are, creating the file when it is missing. Raises the runtime's file
// errors (Path not found, Path/File access error, Disk full, ...) when it cannot; bytes that did
// not all fit are taken back off the file, so it never ends in a torn line.
void AppendToFile(const std::string& path, BytesView bytes);

// The same, first creating the directories on the path (with their parents) when the file's
// directory is missing: the raw log's folder may not exist yet.
void AppendToFileCreatingDirectories(const std::string& path, BytesView bytes);

// Creates the directory and its missing parents; an existing directory is fine. Raises the
// runtime's file errors when a part of the path cannot be made a directory.
void CreateDirectories(const std::string& directory);

// The same, for the error log: a record that cannot be written is dropped (false).
bool AppendToFileQuietly(const std::string& path, BytesView bytes) noexcept;

}  // namespace ombrix
