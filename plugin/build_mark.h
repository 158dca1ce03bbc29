// SPDX-License-Identifier: Apache-2.0
// A what(1)-style line every plug-in build carries in its read-only data:
//
//   @(#)kestrel plug-in 0.2, preset: /path/to/preset.json
//   @(#)kestrel plug-in 0.2, preset: none
//
// so that a tool can tell from the file alone which version it is and
// whether a preset file was compiled in, without loading it (loading runs
// the store's static initialisation). It is data, not an exported symbol.
#pragma once

#define KESTREL_BUILD_MARK_PREFIX "@(#)kestrel plug-in "
#define KESTREL_BUILD_MARK_PRESET ", preset: "
