#pragma once

// Qt 6.4's moc cannot read the standard library's concepts, which <coroutine> brings in.
#ifndef Q_MOC_RUN
#include <coroutine>
#endif
#include <cstdlib>
#include <optional>
#include <utility>

// A coroutine that yields one value of T. It starts when it is awaited (or, at the root of a
// batch, when Start() is called) and, once it has its value, resumes whoever awaited it. The board
// operations are written as such coroutines over an SNMP transport: where the transport answers at
// once (the window's one blocking request at a time), an operation runs to its end inside Start();
// where it answers later (the command line's event loop over many boards), it goes on from there.
//
// Threads: the thread that starts it; it resumes on the thread that completes its requests.
// Ownership: the Task owns its coroutine frame; it must outlive the run it started.
template <class T> class Task
{
  public:
    struct promise_type
    {
        std::optional<T> value;
        std::coroutine_handle<> awaiter;

        Task get_return_object() { return Task(Handle::from_promise(*this)); }
        std::suspend_always initial_suspend() noexcept { return {}; }
        struct Resume
        {
            bool await_ready() noexcept { return false; }
            std::coroutine_handle<> await_suspend(std::coroutine_handle<promise_type> self) noexcept
            {
                const std::coroutine_handle<> next = self.promise().awaiter;
                return next ? next : std::noop_coroutine();
            }
            void await_resume() noexcept {}
        };
        Resume final_suspend() noexcept { return {}; }
        void return_value(T result) { value = std::move(result); }
        // The product does not throw; a stray exception is a bug.
        void unhandled_exception() noexcept { std::abort(); }
    };
    using Handle = std::coroutine_handle<promise_type>;

    Task(Task&& other) noexcept : m_handle(std::exchange(other.m_handle, {})) {}
    Task& operator=(Task&& other) noexcept
    {
        if (this != &other) {
            Destroy();
            m_handle = std::exchange(other.m_handle, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { Destroy(); }

    // As a root: runs it until its first wait (or its end).
    void Start() { m_handle.resume(); }
    bool Done() const { return m_handle && m_handle.done(); }
    // Once Done().
    T TakeResult() { return std::move(*m_handle.promise().value); }

    // Awaited by another coroutine.
    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiter) noexcept
    {
        m_handle.promise().awaiter = awaiter;
        return m_handle;
    }
    T await_resume() { return TakeResult(); }

  private:
    explicit Task(Handle handle) : m_handle(handle) {}
    void Destroy()
    {
        if (m_handle)
            m_handle.destroy();
    }

    Handle m_handle;
};

// Runs a task whose every wait completes at once (a blocking transport) and returns its value.
template <class T> T RunToEnd(Task<T> task)
{
    task.Start();
    if (!task.Done())
        std::abort(); // a transport that answers later needs its event loop
    return task.TakeResult();
}
