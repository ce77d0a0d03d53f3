// Counts the test program's heap, for the tests that bound how much memory something holds.
// Every operator new of the program goes through heap_meter.cpp.
#pragma once

#include <cstddef>

namespace qm::test {

std::size_t heap_held();
void reset_heap_peak();
std::size_t heap_peak();

// The most held at once since it was made, over what was held then.
class HeapMeter {
public:
    HeapMeter() : base_(heap_held()) { reset_heap_peak(); }
    std::size_t peak() const { return heap_peak() - base_; }

private:
    std::size_t base_;
};

} // namespace qm::test
