#pragma once

// Which x86 fast paths are built. With VH_PORTABLE_ONLY (the CMake option
// VH_FAST_PATHS=OFF) an x86 build takes the portable paths that every other machine
// takes, so that a fault in them shows on every test run.
#if defined(__SSE2__) && !defined(VH_PORTABLE_ONLY)
#define VH_SSE2_PATHS 1
#endif
#if (defined(__x86_64__) || defined(__i386__)) && !defined(VH_PORTABLE_ONLY)
#define VH_SSSE3_PATH 1  // chosen at run time, where the processor has SSSE3
#endif
