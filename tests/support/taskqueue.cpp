#include "taskqueue.h"

namespace vemotest {

void TaskQueue::open()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_owner = std::this_thread::get_id();
    m_open = true;
}

void TaskQueue::close()
{
    // Close only once empty, or a task queued meanwhile would never run.
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_items.empty()) {
                m_open = false;
                return;
            }
        }
        runPending();
    }
}

void TaskQueue::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_open) {
            m_items.push_back({std::move(task), nullptr});
            m_waker.wake();
            return;
        }
    }
    task();
}

void TaskQueue::call(const std::function<void()> &task)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_open || m_owner == std::this_thread::get_id()) {
        lock.unlock();
        task();
        return;
    }
    bool done = false;
    m_items.push_back({task, &done});
    m_waker.wake();
    m_doneCv.wait(lock, [&] { return done; });
}

bool TaskQueue::runPending()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    bool ran = false;
    while (!m_items.empty()) {
        Item item = std::move(m_items.front());
        m_items.pop_front();
        lock.unlock();
        item.task();
        lock.lock();
        ran = true;
        if (item.done) {
            *item.done = true;
            m_doneCv.notify_all();
        }
    }
    return ran;
}

} // namespace vemotest
