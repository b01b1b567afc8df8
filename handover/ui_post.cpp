#include "handover/ui_post.hpp"

#include <glib.h>

#include <new>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace {

struct Posted {
    UiCallback callback;
    void* data;
};

#if defined(__SANITIZE_THREAD__)
// GLib's mutexes are futexes that ThreadSanitizer cannot see, so the
// happens-before edge from the poster to the callback is made explicit.
char handoff_marker;
#endif

void run_posted(gpointer user_data)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(&handoff_marker);
#endif
    Posted* posted = static_cast<Posted*>(user_data);
    UiCallback callback = posted->callback;
    void* data = posted->data;
    delete posted;
    callback(data);
}

}  // namespace

void post_to_ui(UiCallback callback, void* data)
{
    Posted* posted = new (std::nothrow) Posted{callback, data};
    if (!posted)
        return;
#if defined(__SANITIZE_THREAD__)
    __tsan_release(&handoff_marker);
#endif
    g_timeout_add_once(0, run_posted, posted);
}
