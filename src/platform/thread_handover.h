#pragma once
// Marks an object handed from one thread to another through a channel whose
// locks the thread sanitizer cannot see: Qt's posted-event queue lives in an
// uninstrumented library, so an event filled on a worker thread and read on
// the window thread looks like a race although the queue orders the two. The
// sender calls ReleaseToOtherThread(event) just before posting it; the
// receiver calls AcquireFromOtherThread(event) before it reads the event.
// Outside a thread-sanitizer build both are empty.

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace platform {

inline void ReleaseToOtherThread([[maybe_unused]] const void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(object));
#endif
}

inline void AcquireFromOtherThread([[maybe_unused]] const void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(object));
#endif
}

}  // namespace platform
