// A small scheduler under one mutex: the list is short next to the time a workbook takes, so
// finding the next free file by a linear look at the pending ones costs nothing measurable.
#include "cli/job_runner.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

namespace cli {

namespace {

class Scheduler {
public:
    Scheduler(const std::vector<std::string>& keys, const FileWork& work,
              const RunCallbacks& callbacks)
        : m_keys(keys), m_work(work), m_callbacks(callbacks), m_results(keys.size()) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            m_pending.push_back(i);
        }
    }

    void worker() {
        std::unique_lock lock(m_mutex);
        while (!m_pending.empty()) {
            // The first pending entry whose file is not being worked on; an entry of a busy
            // file waits, and so does every later entry of that file, which keeps their order.
            auto next = m_pending.begin();
            while (next != m_pending.end() && m_busy.contains(m_keys[*next])) {
                ++next;
            }
            if (next == m_pending.end()) {
                m_changed.wait(lock);
                continue;
            }
            const std::size_t index = *next;
            m_pending.erase(next);
            m_busy.insert(m_keys[index]);

            lock.unlock();
            FileOutcome outcome = runOne(index);
            lock.lock();

            m_busy.erase(m_keys[index]);
            m_results[index] = std::move(outcome);
            ++m_finished;
            report();
            m_changed.notify_all();
        }
    }

    std::vector<FileOutcome> results() {
        std::vector<FileOutcome> outcomes;
        outcomes.reserve(m_results.size());
        for (auto& result : m_results) {
            outcomes.push_back(std::move(result).value_or(FileOutcome{}));
        }
        return outcomes;
    }

private:
    FileOutcome runOne(std::size_t index) {
        try {
            return m_work(index);
        } catch (const std::exception& error) {
            return failure(
                QStringLiteral("internal error: %1").arg(QString::fromUtf8(error.what())));
        } catch (...) {
            return failure(QStringLiteral("internal error"));
        }
    }

    static FileOutcome failure(const QString& reason) {
        FileOutcome outcome;
        outcome.status = FileOutcome::Status::Failed;
        outcome.code = QStringLiteral("internal");
        outcome.reason = reason;
        return outcome;
    }

    // Called with the mutex held.
    void report() {
        if (m_callbacks.progress) {
            m_callbacks.progress(m_finished, m_results.size());
        }
        while (m_nextInOrder < m_results.size() && m_results[m_nextInOrder]) {
            if (m_callbacks.finishedInOrder) {
                m_callbacks.finishedInOrder(m_nextInOrder, *m_results[m_nextInOrder]);
            }
            ++m_nextInOrder;
        }
    }

    const std::vector<std::string>& m_keys;
    const FileWork& m_work;
    const RunCallbacks& m_callbacks;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::size_t> m_pending;
    std::unordered_set<std::string> m_busy;
    std::vector<std::optional<FileOutcome>> m_results;
    std::size_t m_finished = 0;
    std::size_t m_nextInOrder = 0;
};

} // namespace

std::vector<FileOutcome> runJobs(const std::vector<std::string>& keys, int jobs,
                                 const FileWork& work, const RunCallbacks& callbacks) {
    Scheduler scheduler(keys, work, callbacks);
    const std::size_t threads =
        std::min<std::size_t>(keys.size(), static_cast<std::size_t>(std::max(1, jobs)));
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < threads; ++i) {
            helpers.emplace_back([&scheduler] { scheduler.worker(); });
        }
        scheduler.worker();
    }
    return scheduler.results();
}

} // namespace cli
