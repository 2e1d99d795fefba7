#pragma once

#include <cstdint>

// Counts the heap allocations of the whole process (malloc, calloc, realloc and the aligned
// forms, and so every operator new) while switched on. The program defines those functions
// itself and hands them on to the C library's own; its definitions take the place of the C
// library's for every library in the process, the virtual bench included.
class AllocationCounter
{
public:
    static void start();
    // Switches counting off; returns the allocations since start().
    static uint64_t stop();
};
