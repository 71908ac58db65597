// Runs functions on one owner thread: post() queues and returns, call()
// queues and waits. The owner drains the queue with runPending().
#pragma once

#include "socketutil.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vemotest {

class TaskQueue
{
public:
    explicit TaskQueue(Waker &waker) : m_waker(waker) {}

    // Marks the calling thread as the owner and opens the queue.
    void open();
    // Owner only: after this, call() and post() run inline on the caller,
    // which is safe because the owner no longer runs.
    void close();

    void post(std::function<void()> task);
    void call(const std::function<void()> &task);

    // Owner only. Returns whether anything ran.
    bool runPending();

private:
    struct Item
    {
        std::function<void()> task;
        bool *done = nullptr;
    };

    Waker &m_waker;
    std::mutex m_mutex;
    std::condition_variable m_doneCv;
    std::deque<Item> m_items;
    std::thread::id m_owner;
    bool m_open = false;
};

} // namespace vemotest
