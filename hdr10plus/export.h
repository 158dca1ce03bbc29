// SPDX-License-Identifier: Apache-2.0
// Symbol visibility for the HDR10+ metadata library. The project builds with
// hidden visibility; what callers of libkestrel_hdr10plus use carries this.
#pragma once

#if defined(_WIN32)
#define KESTREL_HDR10PLUS_EXPORT
#else
#define KESTREL_HDR10PLUS_EXPORT __attribute__((visibility("default")))
#endif
