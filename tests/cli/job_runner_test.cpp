// The job runner with scripted work: list order of the outcomes, the same file never worked on
// twice at once, real parallelism for different files, and failures that do not stop the run.
#include "cli/job_runner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <thread>

namespace {

using cli::FileOutcome;
using namespace std::chrono_literals;

FileOutcome counted(std::size_t index) {
    FileOutcome outcome;
    outcome.status = FileOutcome::Status::Changed;
    outcome.replacements = index;
    return outcome;
}

std::vector<std::string> distinctKeys(std::size_t count) {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < count; ++i) {
        keys.push_back("file" + std::to_string(i));
    }
    return keys;
}

class JobRunner : public testing::TestWithParam<int> {};

TEST_P(JobRunner, OutcomesComeInListOrderWhateverFinishesFirst) {
    const std::size_t count = 12;
    std::vector<std::size_t> inOrder;
    std::vector<std::size_t> progress;
    cli::RunCallbacks callbacks;
    callbacks.finishedInOrder = [&](std::size_t index, const FileOutcome& outcome) {
        EXPECT_EQ(outcome.replacements, index);
        inOrder.push_back(index);
    };
    callbacks.progress = [&](std::size_t finished, std::size_t total) {
        EXPECT_EQ(total, count);
        progress.push_back(finished);
    };
    // Early files take longest, so with several jobs later files finish first.
    const auto results = cli::runJobs(
        distinctKeys(count), GetParam(),
        [&](std::size_t index) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * (count - index)));
            return counted(index);
        },
        callbacks);

    ASSERT_EQ(results.size(), count);
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(results[i].replacements, i);
        expected.push_back(i);
    }
    EXPECT_EQ(inOrder, expected);
    std::vector<std::size_t> expectedProgress;
    for (std::size_t i = 1; i <= count; ++i) {
        expectedProgress.push_back(i);
    }
    EXPECT_EQ(progress, expectedProgress);
}

TEST_P(JobRunner, SameFileNeverTwiceAtOnceAndInListOrder) {
    // Three files, each listed several times, interleaved.
    const std::vector<std::string> keys{"a", "b", "a", "c", "a", "b", "b", "c", "a", "a"};
    std::mutex mutex;
    std::map<std::string, int> active;
    std::map<std::string, std::vector<std::size_t>> starts;
    bool overlapped = false;
    cli::runJobs(keys, GetParam(), [&](std::size_t index) {
        const std::string& key = keys[index];
        {
            std::lock_guard lock(mutex);
            if (++active[key] > 1) {
                overlapped = true;
            }
            starts[key].push_back(index);
        }
        std::this_thread::sleep_for(3ms);
        std::lock_guard lock(mutex);
        --active[key];
        return counted(index);
    });
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(starts["a"], (std::vector<std::size_t>{0, 2, 4, 8, 9}));
    EXPECT_EQ(starts["b"], (std::vector<std::size_t>{1, 5, 6}));
    EXPECT_EQ(starts["c"], (std::vector<std::size_t>{3, 7}));
}

TEST_P(JobRunner, ThrowingWorkFailsThatFileOnly) {
    const auto results = cli::runJobs(distinctKeys(5), GetParam(), [](std::size_t index) {
        if (index == 1) {
            throw std::runtime_error("out of luck");
        }
        if (index == 3) {
            throw 42;
        }
        return counted(index);
    });
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[1].status, FileOutcome::Status::Failed);
    EXPECT_EQ(results[1].reason, "internal error: out of luck");
    EXPECT_EQ(results[3].status, FileOutcome::Status::Failed);
    EXPECT_EQ(results[3].reason, "internal error");
    for (std::size_t i : {0u, 2u, 4u}) {
        EXPECT_EQ(results[i].status, FileOutcome::Status::Changed) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, JobRunner, testing::Values(1, 2, 4, 16));

TEST(JobRunner, DifferentFilesRunInParallelUpToJobs) {
    // Each piece of work waits until three are under way at once (or gives up after a while),
    // which only happens when the runner really uses three threads.
    std::mutex mutex;
    std::condition_variable changed;
    int active = 0;
    int most = 0;
    cli::runJobs(distinctKeys(6), 3, [&](std::size_t index) {
        std::unique_lock lock(mutex);
        most = std::max(most, ++active);
        changed.notify_all();
        changed.wait_for(lock, 2s, [&] { return most >= 3; });
        --active;
        return counted(index);
    });
    EXPECT_EQ(most, 3);
}

TEST(JobRunner, OneJobWorksStrictlyInListOrder) {
    std::vector<std::size_t> order;
    cli::runJobs({"a", "b", "a", "c"}, 1, [&](std::size_t index) {
        order.push_back(index);
        return counted(index);
    });
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3}));
}

TEST(JobRunner, NoFilesNoWorkNoCallbacks) {
    bool called = false;
    cli::RunCallbacks callbacks;
    callbacks.finishedInOrder = [&](std::size_t, const FileOutcome&) { called = true; };
    callbacks.progress = [&](std::size_t, std::size_t) { called = true; };
    const auto results = cli::runJobs(
        {}, 4,
        [&](std::size_t index) {
            called = true;
            return counted(index);
        },
        callbacks);
    EXPECT_TRUE(results.empty());
    EXPECT_FALSE(called);
}

} // namespace
