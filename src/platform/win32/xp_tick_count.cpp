// GetTickCount64 for the build that runs on Windows XP, which lacks it.
//
// Our code does not call it, but the static C++ runtime does: its exception handling takes
// winpthreads' mutexes, and winpthreads times its waits with GetTickCount64. A program that
// imports a function its Windows lacks does not start at all. This file defines the import's
// address slot itself, so the linker takes it from here instead of from kernel32 and nothing is
// imported. It counts milliseconds from the performance counter, as winpthreads does when it is
// built for XP; the library only subtracts two readings, so where the count starts is of no
// matter.
//
// Linked as an object (not from a static library) into each program of the XP build: the linker
// looks for the slot only after it has seen winpthreads, past our libraries.
#include <windows.h>

namespace {

ULONGLONG WINAPI tick_count_64()
{
    // Both succeed on every Windows from XP on.
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    const auto hz = static_cast<ULONGLONG>(frequency.QuadPart);
    const auto ticks = static_cast<ULONGLONG>(counter.QuadPart);
    if (hz == 0)
        return GetTickCount();
    // Split so that ticks * 1000 cannot overflow.
    return ticks / hz * 1000 + ticks % hz * 1000 / hz;
}

} // namespace

#if defined(__i386__)
#define QM_TICK_COUNT_64_SLOT "__imp__GetTickCount64@0"
#else
#define QM_TICK_COUNT_64_SLOT "__imp_GetTickCount64"
#endif
extern "C" ULONGLONG(WINAPI* const qm_get_tick_count_64)() __asm__(QM_TICK_COUNT_64_SLOT);
extern "C" ULONGLONG(WINAPI* const qm_get_tick_count_64)() = tick_count_64;
