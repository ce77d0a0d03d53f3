// The session's one spooler: a named mutex in the session's namespace, held for the program's
// life, and the running spooler's window found by its class.
#include <windows.h>

#include <cstdio>

#include "platform/instance_port.h"
#include "platform/win32/win_handles.h"

namespace qm {

namespace {

// "Local\" keeps the name to this log-on session: another user's spooler, in a session of its
// own, is no concern of this one. False when the name does not fit.
bool session_object_name(const char* name, char (&out)[MAX_PATH])
{
    const int n = std::snprintf(out, sizeof out, "Local\\%s", name ? name : "");
    return n > 0 && static_cast<std::size_t>(n) < sizeof out;
}

} // namespace

ClaimOutcome claim_instance(const char* name, InstanceClaim* claim)
{
    char object_name[MAX_PATH];
    if (!claim || !session_object_name(name, object_name))
        return ClaimOutcome::Unavailable;
    // Creating the mutex and learning that it was there already is one step, so two starts at
    // the same moment cannot both win.
    SetLastError(ERROR_SUCCESS);
    win::KernelObject mutex(CreateMutexA(nullptr, FALSE, object_name));
    const DWORD error = GetLastError();
    // No handle: the platform refused (a mutex of that name made by another account of the
    // session, which this one may not open, is such a case). That account's spooler reads its
    // own settings, so this one runs as it would alone.
    if (!mutex)
        return ClaimOutcome::Unavailable;
    if (error == ERROR_ALREADY_EXISTS)
        return ClaimOutcome::HeldElsewhere; // the handle to the other's mutex closes here
    *claim = reinterpret_cast<InstanceClaim>(mutex.release());
    return ClaimOutcome::Claimed;
}

void release_instance(InstanceClaim claim)
{
    if (claim)
        CloseHandle(reinterpret_cast<HANDLE>(claim));
}

bool instance_claimed(const char* name)
{
    char object_name[MAX_PATH];
    if (!session_object_name(name, object_name))
        return false;
    const win::KernelObject mutex(OpenMutexA(SYNCHRONIZE, FALSE, object_name));
    return static_cast<bool>(mutex);
}

bool bring_window_forward(const char* class_name)
{
    HWND window = FindWindowA(class_name, nullptr);
    if (!window)
        return false;
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    // A process the user has just started may hand the foreground on.
    SetForegroundWindow(window);
    return true;
}

} // namespace qm
