// The temporary files that a save writes beside a workbook, seen from a later run: those whose
// writer was killed before it could remove them.
#pragma once

#include <cstddef>
#include <filesystem>

namespace engine {

/// Removes from `folder` (not its subfolders) the temporary files of saves whose process is
/// gone: a save holds a lock on its temporary file and names its process in it, so a file
/// whose lock is free and whose process no longer runs was left by a killed run. Touches
/// nothing else; returns how many were removed (0 when the folder cannot be read).
std::size_t removeStaleTemporaryFiles(const std::filesystem::path& folder);

} // namespace engine
