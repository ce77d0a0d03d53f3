// Change watches through the Win32 change notifications.
//
// The backend keeps each notification armed itself: a signal it finds is a change for the
// watch's own fired state, and the notification is armed again at once. The program arms the
// watch only once it has looked at the folder, and a change made while it looked must not be
// lost; Windows records such a change for the next arm, but Wine does not, so the time between a
// signal and the next arm is kept to the one call that finds it.
#include <windows.h>

#include "platform/common/fired_state.h"
#include "platform/watch_port.h"
#include "platform/win32/win_handles.h"

namespace qm {

namespace {

struct Watch {
    win::ChangeHandle notification;
    backend::FiredState state;
};

Watch* watch_of(WatchHandle handle)
{
    return reinterpret_cast<Watch*>(handle);
}

// Takes a signal waiting on the watch's notification and arms the notification again. False
// when the notification fails.
bool take_signal(Watch* watch)
{
    const DWORD r = WaitForSingleObject(watch->notification.get(), 0);
    if (r == WAIT_TIMEOUT)
        return true;
    if (r != WAIT_OBJECT_0)
        return false;
    watch->state.change();
    return FindNextChangeNotification(watch->notification.get()) != 0;
}

} // namespace

WatchHandle open_change_watch(const char* folder)
{
    HANDLE h = FindFirstChangeNotificationA(
        folder, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (h == INVALID_HANDLE_VALUE || h == nullptr)
        return nullptr;
    return reinterpret_cast<WatchHandle>(new Watch{win::ChangeHandle(h), {}});
}

int arm_change_watch(WatchHandle watch)
{
    if (!watch || !take_signal(watch_of(watch)))
        return -1;
    watch_of(watch)->state.arm();
    return 0;
}

void close_change_watch(WatchHandle watch)
{
    delete watch_of(watch);
}

int poll_change_watches(const WatchHandle* watches, int count)
{
    if (count <= 0)
        return PollFailed;
    for (int i = 0; i < count; ++i) {
        if (watches[i] && !take_signal(watch_of(watches[i])))
            return PollFailed;
    }
    return backend::poll_fired(
        watches, count, [](WatchHandle w) -> backend::FiredState& { return watch_of(w)->state; });
}

} // namespace qm
