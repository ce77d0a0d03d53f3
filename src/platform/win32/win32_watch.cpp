// Change watches through the Win32 change notifications.
#include <windows.h>

#include "platform/watch_port.h"

namespace qm {

namespace {

HANDLE handle_of(WatchHandle watch)
{
    return reinterpret_cast<HANDLE>(watch);
}

} // namespace

WatchHandle open_change_watch(const char* folder)
{
    HANDLE h = FindFirstChangeNotificationA(
        folder, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (h == INVALID_HANDLE_VALUE || h == nullptr)
        return nullptr;
    return reinterpret_cast<WatchHandle>(h);
}

int arm_change_watch(WatchHandle watch)
{
    return watch && FindNextChangeNotification(handle_of(watch)) ? 0 : -1;
}

void close_change_watch(WatchHandle watch)
{
    if (watch)
        FindCloseChangeNotification(handle_of(watch));
}

int poll_change_watches(const WatchHandle* watches, int count)
{
    if (count <= 0)
        return PollFailed;
    // Slots without a watch are left out of the wait (they can never fire); the rest keep their
    // order, so the lowest fired slot is the one reported.
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    int slot_of[MAXIMUM_WAIT_OBJECTS];
    DWORD n = 0;
    for (int i = 0; i < count && n < MAXIMUM_WAIT_OBJECTS; ++i) {
        if (watches[i]) {
            handles[n] = handle_of(watches[i]);
            slot_of[n] = i;
            ++n;
        }
    }
    if (n == 0)
        return PollNothingFired;
    const DWORD r = WaitForMultipleObjects(n, handles, FALSE, 0);
    if (r < WAIT_OBJECT_0 + n)
        return slot_of[r - WAIT_OBJECT_0];
    if (r == WAIT_TIMEOUT)
        return PollNothingFired;
    return PollFailed;
}

} // namespace qm
