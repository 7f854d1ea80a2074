// The Windows API for the tool's few platform sections, without the min
// and max macros that would clash with the standard library and without
// the parts of windows.h the tool never uses. Nothing on other platforms.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
