#pragma once

// The Windows API, without the min and max macros that would break the standard library.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
