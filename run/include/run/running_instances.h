// Finding a running spreadsheet application of the same user: the per-user registry that every
// live stand-in instance joins, and the process table searched for EXCEL.EXE. Unix only; on
// other systems nothing is ever found.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace run {

/// The registry folder: "varnocliff/instances" under $XDG_RUNTIME_DIR, or under ~/.cache when
/// that is not set.
std::filesystem::path defaultRegistryFolder();

/// One entry of the registry, held while an instance lives: a file named after the process
/// and a counter, holding the process id and the application name, with an exclusive lock
/// held for as long as the entry exists. The entry goes when this object does; a process that
/// dies leaves a file without a lock, which readers take as stale and remove.
class RegistryEntry {
public:
    ~RegistryEntry();
    RegistryEntry(const RegistryEntry&) = delete;
    RegistryEntry& operator=(const RegistryEntry&) = delete;

    /// Joins the registry in folder (created when missing) as process pid. Returns null when
    /// the entry cannot be made (an unwritable folder): an instance that cannot register still
    /// works, it is only not seen by other runs.
    static std::unique_ptr<RegistryEntry> join(const std::filesystem::path& folder, long pid,
                                               const std::string& applicationName);

    const std::filesystem::path& file() const { return m_file; }

private:
    RegistryEntry(std::filesystem::path file, int fd) : m_file(std::move(file)), m_fd(fd) {}
    std::filesystem::path m_file;
    int m_fd;
};

/// A running instance that the running check found.
struct RunningInstance {
    std::string name; ///< the application name (default property)
    long pid = 0;     ///< its process, when known
    /// True for another replace run of this program (the desktop program or the command
    /// line), false for the spreadsheet application itself.
    bool replaceRun = false;
};

/// A live entry of another process in folder (an entry whose lock is held and whose process id
/// is not selfPid), if any: its process id and application name. Stale entries are removed on
/// the way.
std::optional<RunningInstance> liveRegistryEntry(const std::filesystem::path& folder, long selfPid);

/// The application name of liveRegistryEntry(folder, selfPid).
std::optional<std::string> liveRegistryEntryName(const std::filesystem::path& folder, long selfPid);

/// True when the process table under procRoot (normally "/proc") lists a process other than
/// selfPid, owned by user uid, whose executable or first argument is named EXCEL.EXE (any
/// case; a Windows path as run by a compatibility layer counts by its last component).
bool excelProcessRunning(const std::filesystem::path& procRoot, unsigned uid, long selfPid);

/// The look-up of a running instance that the running check uses: the name (default
/// property) of a running application object, or nothing when none runs.
class RunningInstanceLookup {
public:
    virtual ~RunningInstanceLookup() = default;
    virtual std::optional<std::string> runningApplicationName() = 0;
    /// The running instance with what else is known of it; by default only its name.
    virtual std::optional<RunningInstance> runningInstance() {
        auto name = runningApplicationName();
        if (!name) {
            return std::nullopt;
        }
        return RunningInstance{*name, 0, false};
    }
};

/// The look-up of this machine: another live entry of the registry, or an EXCEL.EXE process of
/// the same user, never counting the current process.
class SystemRunningLookup final : public RunningInstanceLookup {
public:
    explicit SystemRunningLookup(std::filesystem::path registryFolder = defaultRegistryFolder(),
                                 std::filesystem::path procRoot = "/proc");
    std::optional<std::string> runningApplicationName() override;
    std::optional<RunningInstance> runningInstance() override;

private:
    std::filesystem::path m_registryFolder;
    std::filesystem::path m_procRoot;
};

} // namespace run
