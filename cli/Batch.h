#pragma once

#include "cli/CliContext.h"
#include "cli/Progress.h"
#include "core/SnmpLoop.h"
#include "core/Task.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// Many boards at once: one task per board, at most `jobs` of them under way, all on the
// command's SNMP loop (one thread, no thread per board). Each board's own requests keep their
// order; the results come back in the boards' order, and a terminal shows how many are done.
template <class T> using BoardTask = std::function<Task<T>(qsizetype index)>;

namespace BatchDetail {

template <class T> struct State
{
    const BoardTask<T>& start;
    const QStringList& boards;
    Progress& progress;
    std::vector<std::optional<T>> results;
    qsizetype next = 0;
    qsizetype done = 0;
};

// Takes the next board until there is none left.
template <class T> Task<bool> Worker(State<T>& state)
{
    while (state.next < static_cast<qsizetype>(state.results.size())) {
        const qsizetype index = state.next++;
        state.results[static_cast<std::size_t>(index)] = co_await state.start(index);
        state.progress.Show(state.done++, state.boards[index]);
    }
    co_return true;
}

} // namespace BatchDetail

template <class T>
QList<T> RunBatch(CliContext& context, const QString& command, const QStringList& boards, int jobs,
                  const BoardTask<T>& start)
{
    Progress progress(context, command, boards.size());
    BatchDetail::State<T> state{start, boards, progress, std::vector<std::optional<T>>(boards.size())};
    std::vector<Task<bool>> workers;
    for (int i = 0; i < jobs && i < boards.size(); ++i)
        workers.push_back(BatchDetail::Worker(state));
    for (Task<bool>& worker : workers)
        worker.Start();
    context.snmp.Run();
    QList<T> results;
    for (std::optional<T>& result : state.results)
        results << std::move(*result);
    return results;
}
