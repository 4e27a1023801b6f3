// The per-user registry of live instances (one locked file each) and the search of the process
// table for EXCEL.EXE. Every error while looking counts as "nothing found".
#include "run/running_instances.h"

#include "run/automation.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#define VARNOCLIFF_HAVE_FLOCK 1
#endif

namespace run {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEntrySuffix = ".instance";

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The last component of a path in either convention: a compatibility layer shows a Windows
// path ("C:\Program Files\...\EXCEL.EXE") as a process's first argument.
std::string lastComponent(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isExcelName(const std::string& path) {
    return equalsIgnoringAsciiCase(lastComponent(path), "EXCEL.EXE");
}

} // namespace

fs::path defaultRegistryFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    fs::path base;
    if (runtime != nullptr && *runtime != '\0') {
        base = runtime;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = fs::path(home) / ".cache";
    } else {
        return {};
    }
    return base / "varnocliff" / "instances";
}

#ifdef VARNOCLIFF_HAVE_FLOCK

RegistryEntry::~RegistryEntry() {
    std::error_code ignored;
    // Removed before the lock goes, so a reader never takes a live entry for a stale one.
    fs::remove(m_file, ignored);
    ::close(m_fd);
}

std::unique_ptr<RegistryEntry> RegistryEntry::join(const fs::path& folder, long pid,
                                                   const std::string& applicationName) {
    if (folder.empty()) {
        return nullptr;
    }
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        return nullptr;
    }
    // One process may hold several instances at once (the command line's parallel jobs).
    static std::atomic<unsigned> counter{0};
    const std::string stem = std::to_string(pid) + "-" + std::to_string(counter++);
    // Made under another name and renamed once locked and written, so that no reader sees an
    // entry without its lock and takes it for stale.
    const fs::path draft = folder / (stem + ".draft");
    const fs::path file = folder / (stem + kEntrySuffix);
    const int fd = ::open(draft.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    const std::string content = std::to_string(pid) + "\n" + applicationName + "\n";
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()) ||
        ::rename(draft.c_str(), file.c_str()) != 0) {
        fs::remove(draft, error);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<RegistryEntry>(new RegistryEntry(file, fd));
}

std::optional<RunningInstance> liveRegistryEntry(const fs::path& folder, long selfPid) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        return std::nullopt;
    }
    // Every stale entry goes, also those listed after a live one: a killed run's entry must
    // not wait for a look-up that happens to reach it.
    std::optional<RunningInstance> live;
    for (const fs::directory_entry& entry : it) {
        if (entry.path().extension() != kEntrySuffix) {
            continue;
        }
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            continue;
        }
        // A lock we can take means its holder is gone.
        const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (!held) {
            fs::remove(entry.path(), error);
            ::close(fd);
            continue;
        }
        if (live) {
            ::close(fd);
            continue;
        }
        std::string content(256, '\0');
        const ssize_t length = ::read(fd, content.data(), content.size());
        ::close(fd);
        content.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        std::istringstream lines(content);
        long pid = 0;
        std::string name;
        if (!(lines >> pid) || pid == selfPid) {
            continue;
        }
        lines.ignore(1);
        std::getline(lines, name);
        live = RunningInstance{name, pid, true};
    }
    return live;
}

bool excelProcessRunning(const fs::path& procRoot, unsigned uid, long selfPid) {
    std::error_code error;
    fs::directory_iterator it(procRoot, error);
    if (error) {
        return false;
    }
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        if (name.empty() ||
            !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        if (std::strtol(name.c_str(), nullptr, 10) == selfPid) {
            continue;
        }
        struct stat info {};
        if (::stat(entry.path().c_str(), &info) != 0 || info.st_uid != uid) {
            continue;
        }
        fs::path exe = fs::read_symlink(entry.path() / "exe", error);
        if (!error && isExcelName(exe.string())) {
            return true;
        }
        std::ifstream cmdline(entry.path() / "cmdline", std::ios::binary);
        std::string first;
        if (std::getline(cmdline, first, '\0') && isExcelName(first)) {
            return true;
        }
    }
    return false;
}

SystemRunningLookup::SystemRunningLookup(fs::path registryFolder, fs::path procRoot)
    : m_registryFolder(std::move(registryFolder)), m_procRoot(std::move(procRoot)) {}

std::optional<RunningInstance> SystemRunningLookup::runningInstance() {
    const long self = static_cast<long>(::getpid());
    if (auto entry = liveRegistryEntry(m_registryFolder, self)) {
        return entry;
    }
    if (excelProcessRunning(m_procRoot, static_cast<unsigned>(::getuid()), self)) {
        return RunningInstance{automation::kApplicationName, 0, false};
    }
    return std::nullopt;
}

#else

RegistryEntry::~RegistryEntry() = default;

std::unique_ptr<RegistryEntry> RegistryEntry::join(const fs::path&, long, const std::string&) {
    return nullptr;
}

std::optional<RunningInstance> liveRegistryEntry(const fs::path&, long) {
    return std::nullopt;
}

bool excelProcessRunning(const fs::path&, unsigned, long) {
    return false;
}

SystemRunningLookup::SystemRunningLookup(fs::path registryFolder, fs::path procRoot)
    : m_registryFolder(std::move(registryFolder)), m_procRoot(std::move(procRoot)) {}

std::optional<RunningInstance> SystemRunningLookup::runningInstance() {
    return std::nullopt;
}

#endif

std::optional<std::string> liveRegistryEntryName(const fs::path& folder, long selfPid) {
    auto entry = liveRegistryEntry(folder, selfPid);
    if (!entry) {
        return std::nullopt;
    }
    return entry->name;
}

std::optional<std::string> SystemRunningLookup::runningApplicationName() {
    auto instance = runningInstance();
    if (!instance) {
        return std::nullopt;
    }
    return instance->name;
}

} // namespace run
