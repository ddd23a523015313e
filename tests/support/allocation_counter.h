// Counts the heap allocations of a program that links velmora_alloc_counter (its global
// operator new is replaced), so a test or benchmark can check that a per-frame path
// allocates nothing.
#pragma once

long AllocationCount();
