// The owner files that spreadsheet programs put beside a workbook they have open.
#pragma once

#include "engine/result.h"

#include <filesystem>

namespace engine::package {

/// Fails with LockedByOtherProgram, the detail naming the lock file, when "~$name" (Excel; a
/// name of 8 characters or more loses its first two) or ".~lock.name#" (LibreOffice) is beside
/// `workbook`. Succeeds otherwise; touches nothing.
Status checkLockFiles(const std::filesystem::path& workbook);

} // namespace engine::package
