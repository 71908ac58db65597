#ifndef HANDOVER_H
#define HANDOVER_H

// Tells ThreadSanitizer about the hand-overs between the connection thread
// and the GUI thread that happen inside Qt, whose Debian build it cannot
// see: a queued call (posted by one thread, run by the other) and the end
// of run() seen through QThread::wait(). Nothing otherwise.
#if defined(__SANITIZE_THREAD__)
#define VEMO_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VEMO_TSAN 1
#endif
#endif

#include <QEvent>

#ifdef VEMO_TSAN
#include <sanitizer/tsan_interface.h>
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace Handover
{
// Everything this thread wrote before is visible to whoever acquires `token`.
inline void release(const void *token)
{
#ifdef VEMO_TSAN
    __tsan_release(const_cast<void *>(token));
#else
    (void)token;
#endif
}

inline void acquire(const void *token)
{
#ifdef VEMO_TSAN
    __tsan_acquire(const_cast<void *>(token));
#else
    (void)token;
#endif
}

// The sending side's emission itself: Qt allocates the event that carries
// the call and copies the arguments into it after release(). Qt's event
// queue orders that before the receiver reads them, out of the sanitizer's
// sight, so this thread's accesses are not recorded for the length of the
// emission.
class Unrecorded
{
public:
    Unrecorded()
    {
#ifdef VEMO_TSAN
        __tsan_ignore_thread_begin();
#endif
    }
    ~Unrecorded()
    {
#ifdef VEMO_TSAN
        __tsan_ignore_thread_end();
#endif
    }
    Unrecorded(const Unrecorded &) = delete;
    Unrecorded &operator=(const Unrecorded &) = delete;
};

// The receiving object's event(), as a queued call arrives, before Qt's
// generated code reads the arguments.
inline void acquireOnCall(const QEvent *event, const void *token)
{
    if (event->type() == QEvent::MetaCall)
        acquire(token);
}
} // namespace Handover

#endif
