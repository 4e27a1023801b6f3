// The registry of live instances and the process-table search, over temporary folders: live
// entries of other processes count, the caller's own and stale ones do not.
#include "run/running_instances.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    fs::path folder() const { return fs::path(dir.path().toStdString()) / "instances"; }
    QTemporaryDir dir;
    const long self = static_cast<long>(::getpid());
};

TEST_F(RegistryTest, EntryIsSeenByOthersWhileItLivesAndGoesWithIt) {
    const long other = self + 1;
    {
        auto entry = run::RegistryEntry::join(folder(), self, "Microsoft Excel");
        ASSERT_NE(entry, nullptr);
        EXPECT_TRUE(fs::exists(entry->file()));
        EXPECT_EQ(run::liveRegistryEntryName(folder(), other), "Microsoft Excel");
        EXPECT_EQ(run::liveRegistryEntryName(folder(), self), std::nullopt);
    }
    EXPECT_EQ(run::liveRegistryEntryName(folder(), other), std::nullopt);
    EXPECT_TRUE(fs::is_empty(folder()));
}

// A process that died leaves its file behind without a lock.
TEST_F(RegistryTest, StaleEntryIsIgnoredAndRemoved) {
    fs::create_directories(folder());
    const fs::path stale = folder() / "999999-0.instance";
    std::ofstream(stale) << "999999\nMicrosoft Excel\n";
    EXPECT_EQ(run::liveRegistryEntryName(folder(), self), std::nullopt);
    EXPECT_FALSE(fs::exists(stale));
}

// Fault: stale entries listed after a live one stayed for ever, since the look-up stopped at
// the first live entry.
TEST_F(RegistryTest, EveryStaleEntryGoesEvenBesideALiveOne) {
    auto live = run::RegistryEntry::join(folder(), self + 1, "Live");
    ASSERT_NE(live, nullptr);
    std::vector<fs::path> stale;
    for (int i = 0; i < 20; ++i) {
        stale.push_back(folder() / ("99999" + std::to_string(i) + "-0.instance"));
        std::ofstream(stale.back()) << "999999\nGone\n";
    }
    EXPECT_EQ(run::liveRegistryEntryName(folder(), self), "Live");
    for (const fs::path& file : stale) {
        EXPECT_FALSE(fs::exists(file)) << file;
    }
    EXPECT_TRUE(fs::exists(live->file()));
}

TEST_F(RegistryTest, EntryOfAnotherProcessIsFoundAndGoesWhenItDies) {
    int ready[2];
    int finish[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(finish), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto entry = run::RegistryEntry::join(folder(), static_cast<long>(::getpid()), "Other");
        char byte = entry ? '1' : '0';
        (void)!::write(ready[1], &byte, 1);
        (void)!::read(finish[0], &byte, 1);
        // Dies without tidying up, as a killed process would.
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, '1');
    EXPECT_EQ(run::liveRegistryEntryName(folder(), self), "Other");
    (void)!::write(finish[1], &byte, 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(run::liveRegistryEntryName(folder(), self), std::nullopt);
    for (int fd : {ready[0], ready[1], finish[0], finish[1]}) {
        ::close(fd);
    }
}

TEST_F(RegistryTest, UnwritableFolderGivesNoEntry) {
    std::ofstream(dir.path().toStdString() + "/file") << "x";
    EXPECT_EQ(run::RegistryEntry::join(fs::path(dir.path().toStdString()) / "file" / "sub", self,
                                       "Microsoft Excel"),
              nullptr);
    EXPECT_EQ(run::RegistryEntry::join(fs::path(), self, "Microsoft Excel"), nullptr);
}

struct ProcessCase {
    const char* name;
    const char* exeTarget; ///< nullptr: no exe link
    std::string cmdline;   ///< first argument and the rest, NUL-separated
    bool found;
};

class ProcessTableTest : public ::testing::TestWithParam<ProcessCase> {};

TEST_P(ProcessTableTest, FindsExcelByExecutableOrFirstArgument) {
    const ProcessCase& c = GetParam();
    QTemporaryDir dir;
    const fs::path proc = dir.path().toStdString();
    fs::create_directories(proc / "self");
    const fs::path process = proc / "4242";
    fs::create_directories(process);
    if (c.exeTarget != nullptr) {
        fs::create_symlink(c.exeTarget, process / "exe");
    }
    std::ofstream(process / "cmdline", std::ios::binary) << c.cmdline;
    const unsigned uid = ::getuid();
    EXPECT_EQ(run::excelProcessRunning(proc, uid, 1), c.found);
    // Never the caller's own process, and never another user's.
    EXPECT_FALSE(run::excelProcessRunning(proc, uid, 4242));
    EXPECT_FALSE(run::excelProcessRunning(proc, uid + 1, 1));
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Run, ProcessTableTest,
    ::testing::Values(
        ProcessCase{"NativeExecutable", "/opt/office/EXCEL.EXE", "", true},
        ProcessCase{"LowerCase", "/opt/office/excel.exe", "", true},
        ProcessCase{"WindowsPathAsFirstArgument", "/usr/bin/wine64-preloader",
                    "C:\\Program Files\\Microsoft Office\\root\\Office16\\EXCEL.EXE\0/e\0"s, true},
        ProcessCase{"OtherProgram", "/usr/bin/libreoffice", "soffice\0--calc\0"s, false},
        ProcessCase{"SimilarName", "/opt/NOTEXCEL.EXE", "EXCEL.EXE.bak\0"s, false},
        ProcessCase{"ExcelOnlyAsLaterArgument", nullptr, "grep\0EXCEL.EXE\0"s, false}),
    [](const ::testing::TestParamInfo<ProcessCase>& param) { return param.param.name; });

TEST(ProcessTable, MissingRootFindsNothing) {
    EXPECT_FALSE(run::excelProcessRunning("/nonexistent-proc-root", ::getuid(), 1));
}

} // namespace

namespace {

// The system look-up asks the registry first, then the process table.
TEST(SystemRunningLookup, FindsARegistryEntryOrAnExcelProcess) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    const fs::path registry = root / "instances";
    const fs::path proc = root / "proc";
    fs::create_directories(proc);
    run::SystemRunningLookup lookup(registry, proc);
    EXPECT_EQ(lookup.runningApplicationName(), std::nullopt);

    // Any process but this one.
    const fs::path other = proc / std::to_string(::getpid() + 1);
    fs::create_directories(other);
    fs::create_symlink("/opt/office/EXCEL.EXE", other / "exe");
    EXPECT_EQ(lookup.runningApplicationName(), "Microsoft Excel");
    EXPECT_FALSE(lookup.runningInstance()->replaceRun);

    // A registry entry is another replace run, known with its process.
    const long otherPid = static_cast<long>(::getpid()) + 1;
    auto entry = run::RegistryEntry::join(registry, otherPid, "Other");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(lookup.runningApplicationName(), "Other");
    const auto instance = lookup.runningInstance();
    ASSERT_TRUE(instance.has_value());
    EXPECT_TRUE(instance->replaceRun);
    EXPECT_EQ(instance->pid, otherPid);
}

} // namespace
