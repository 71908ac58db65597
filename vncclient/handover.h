#ifndef HANDOVER_H
#define HANDOVER_H

// Tells ThreadSanitizer about the hand-overs between the connection thread
// and the GUI thread that happen inside Qt, whose Debian build it cannot
// see: a blocking queued emission (the thread waits until the slot has run)
// and the end of run() seen through QThread::wait(). Nothing otherwise.
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

// The sending side's emission itself. The signal's generated code writes
// the argument list on this thread's stack, and Qt allocates the event that
// carries it, after release(). Qt's own wait orders both before the
// receiver reads them, out of the sanitizer's sight, so this thread's
// accesses are not recorded for the length of the emission.
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

// The receiving object's event(), as a queued call arrives: Qt's generated
// code reads the argument list, on the sender's stack, before the slot and
// its Scope begin.
inline void acquireOnCall(const QEvent *event, const void *token)
{
    if (event->type() == QEvent::MetaCall)
        acquire(token);
}

// The receiving side of a blocking emission: takes over on entry, hands
// back on exit.
class Scope
{
public:
    explicit Scope(const void *token) : token(token) { acquire(token); }
    ~Scope() { release(token); }
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

private:
    const void *token;
};
} // namespace Handover

#endif
