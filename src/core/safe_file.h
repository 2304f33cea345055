#pragma once

// Whole-file reading and crash-safe replacing of files such as the settings
// file: a reader sees either the old content or the new one, never a part.

#include <optional>
#include <string>
#include <string_view>

// The bytes of a regular file; nullopt when it does not exist. A path that
// exists but cannot be read, or is not a regular file (a directory, a pipe,
// a device), throws KrovanError "Unable to read <path>".
std::optional<std::string> readwholefile(const std::string &path);

// Writes all of `content` to the descriptor, again after an interruption;
// false on a failure, with errno saying why.
bool writeall(int fd, std::string_view content);

// Writes `content` to a new temporary file in the directory of `path`,
// flushes it to the disk and renames it over `path`. The old file's
// permissions are kept, and a symbolic link is followed, not replaced. A
// file that exists but may not be written is refused, as a direct write
// would be. On any failure the old file stays as it was, the temporary file
// is removed and KrovanError "Unable to write to <path>" is thrown.
void writefilesafely(const std::string &path, std::string_view content);
