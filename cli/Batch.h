#pragma once

#include "cli/CliContext.h"
#include "cli/Progress.h"
#include "core/SnmpLoop.h"
#include "core/Task.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Many boards at once: one task per board, at most `jobs` of them under way, all on the
// command's SNMP loop (one thread, no thread per board). Each board's own requests keep their
// order; the results come back in the boards' order, and a terminal shows how many are done.
template <class T> using BoardTask = std::function<Task<T>(qsizetype index)>;

// Boards may be added while others run (as a search lists them): each starts as soon as one of
// the `jobs` places is free.
template <class T> class BoardBatch
{
  public:
    BoardBatch(CliContext& context, const QString& command, int jobs, BoardTask<T> start)
        : m_loop(context.snmp), m_progress(context, command, 0), m_jobs(jobs), m_start(std::move(start))
    {
    }
    BoardBatch(const BoardBatch&) = delete;
    BoardBatch& operator=(const BoardBatch&) = delete;

    // The next board; its index is the number of boards added before.
    void Add(const QString& name)
    {
        m_names << name;
        m_results.emplace_back();
        m_progress.SetTotal(m_names.size());
        StartWaiting();
    }
    // Some board is under way: its requests need the loop run.
    bool Busy() const { return m_running > 0; }
    // Runs the loop until every board added has its result; the results in the boards' order.
    QList<T> Finish()
    {
        m_loop.Run();
        QList<T> results;
        for (std::optional<T>& result : m_results)
            results << std::move(*result);
        return results;
    }

  private:
    Task<bool> Board(qsizetype index)
    {
        m_results[static_cast<std::size_t>(index)] = co_await m_start(index);
        --m_running;
        m_progress.Show(m_done++, m_names[index]);
        StartWaiting();
        co_return true;
    }

    // A board that ends at once (nothing could be sent) ends inside Start(): the loop here takes
    // the next one rather than a call nested in it.
    void StartWaiting()
    {
        if (m_starting)
            return;
        m_starting = true;
        while (m_running < m_jobs && m_next < m_names.size()) {
            ++m_running;
            m_tasks.push_back(std::make_unique<Task<bool>>(Board(m_next++)));
            m_tasks.back()->Start();
        }
        m_starting = false;
    }

    SnmpLoop& m_loop;
    Progress m_progress;
    int m_jobs;
    BoardTask<T> m_start;
    QStringList m_names;
    std::deque<std::optional<T>> m_results; // stable while boards are added
    std::vector<std::unique_ptr<Task<bool>>> m_tasks;
    qsizetype m_next = 0;
    qsizetype m_done = 0;
    int m_running = 0;
    bool m_starting = false;
};

template <class T>
QList<T> RunBatch(CliContext& context, const QString& command, const QStringList& boards, int jobs,
                  const BoardTask<T>& start)
{
    BoardBatch<T> batch(context, command, jobs, start);
    for (const QString& board : boards)
        batch.Add(board);
    return batch.Finish();
}
