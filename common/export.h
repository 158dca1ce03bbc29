// SPDX-License-Identifier: Apache-2.0
// Symbol visibility for the plug-in. Everything is hidden by default
// (-fvisibility=hidden); only what a host or caller links against carries
// KESTREL_EXPORT.
#pragma once

#if defined(_WIN32)
#define KESTREL_EXPORT
#else
#define KESTREL_EXPORT __attribute__((visibility("default")))
#endif
