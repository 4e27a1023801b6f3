// Looking for the owner files of spreadsheet programs beside a workbook.
#include "package/lock_files.h"

#include <system_error>
#include <vector>

namespace engine::package {

Status checkLockFiles(const std::filesystem::path& workbook) {
    const std::string name = workbook.filename().string();
    const std::filesystem::path folder = workbook.parent_path();
    std::vector<std::string> candidates{"~$" + name, ".~lock." + name + "#"};
    // Excel shortens the owner file of a longer name by letting "~$" replace its first two
    // characters; both forms are looked for, since the threshold varies between versions.
    if (name.size() > 2) {
        candidates.push_back("~$" + name.substr(2));
    }
    for (const auto& candidate : candidates) {
        std::error_code error;
        const std::filesystem::path lock = folder / candidate;
        if (std::filesystem::exists(lock, error)) {
            return Error{ErrorCode::LockedByOtherProgram, lock.string()};
        }
    }
    return Unit{};
}

} // namespace engine::package
