#include "inputqueue.h"

bool InputQueue::add(OutgoingEvent event)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (refused)
        return false;
    const bool pointer = event.kind() == OutgoingEvent::Kind::Pointer;
    // A motion keeps the buttons of the pointer event before it.
    const bool motion = pointer && event.buttonMask() == lastButtons;
    if (pointer)
        lastButtons = event.buttonMask();
    if (motion && motionLast) {
        waiting.back() = std::move(event);
        return false;
    }
    // Out at once while the library reads a long update, unless input
    // queued earlier has still to go.
    if (waiting.empty()) {
        const std::string message = event.message();
        if (!message.empty() && direct.tryWrite(message.data(), message.size())) {
            motionLast = false;
            return false;
        }
    }
    waiting.push_back(std::move(event));
    motionLast = motion;
    return true;
}

void InputQueue::refuse()
{
    const std::lock_guard<std::mutex> guard(lock);
    refused = true;
}

void InputQueue::reset()
{
    const std::lock_guard<std::mutex> guard(lock);
    waiting.clear();
    refused = false;
    lastButtons = -1;
    motionLast = false;
}

void InputQueue::send(rfbClient *client, const std::function<void()> &before)
{
    // Taken out under the lock, sent without it: a server that stops
    // reading must not block the GUI thread's input calls.
    {
        const std::lock_guard<std::mutex> guard(lock);
        sending.swap(waiting);
        motionLast = false;
    }
    if (sending.empty())
        return;
    before();
    for (const OutgoingEvent &event : sending)
        event.send(client);
    sending.clear();
}
