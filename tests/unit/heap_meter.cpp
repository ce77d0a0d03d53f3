// Replaces the program's operator new and delete with counting ones: each block carries its size
// in front of it. In a file of its own so that no call site sees both the allocation and the
// size prefix.
#include "heap_meter.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace qm::test {
namespace {

std::size_t Held = 0;
std::size_t Peak = 0;
constexpr std::size_t Prefix = 16; // keeps blocks aligned as malloc aligns them

void* counted_new(std::size_t n) noexcept
{
    auto* p = static_cast<char*>(std::malloc(n + Prefix));
    if (!p)
        return nullptr;
    *reinterpret_cast<std::size_t*>(p) = n;
    Held += n;
    Peak = std::max(Peak, Held);
    return p + Prefix;
}

void counted_delete(void* q) noexcept
{
    if (!q)
        return;
    char* p = static_cast<char*>(q) - Prefix;
    Held -= *reinterpret_cast<std::size_t*>(p);
    std::free(p);
}

} // namespace

std::size_t heap_held()
{
    return Held;
}

void reset_heap_peak()
{
    Peak = Held;
}

std::size_t heap_peak()
{
    return Peak;
}

} // namespace qm::test

void* operator new(std::size_t n)
{
    if (void* p = qm::test::counted_new(n))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n)
{
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return qm::test::counted_new(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    return qm::test::counted_new(n);
}
void operator delete(void* p) noexcept
{
    qm::test::counted_delete(p);
}
void operator delete[](void* p) noexcept
{
    qm::test::counted_delete(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    qm::test::counted_delete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    qm::test::counted_delete(p);
}
