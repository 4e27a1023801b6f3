// Used only while the workbook engine library is not part of the build: every workbook fails
// to open with a reason, so the run and its tests link and behave sensibly.
#include "engine/workbook.h"

namespace engine {

const char* errorText(ErrorCode) {
    return "this workbook format is not supported yet";
}

std::string Error::message() const {
    return detail.empty() ? errorText(code) : std::string(errorText(code)) + ": " + detail;
}

Result<std::unique_ptr<Workbook>> Workbook::open(const std::filesystem::path& path,
                                                 const OpenOptions&) {
    return Error{ErrorCode::UnsupportedFormat, path.filename().string()};
}

} // namespace engine
