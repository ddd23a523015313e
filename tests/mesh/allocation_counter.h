// Counts the heap allocations of the mesh test program (its global operator new is
// replaced), so a test can check that a per-frame path allocates nothing.
#pragma once

long AllocationCount();
