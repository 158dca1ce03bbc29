// SPDX-License-Identifier: Apache-2.0
// How many pictures a video's headers announce: the total of a long run's
// progress, and what tells a stream that decodes short (cut, or damaged
// where only the decoder sees it) from a whole one.
#pragma once

#include <cstddef>
#include <string>

#include "common/status.h"

namespace kestrel::tool {

// The number of shown pictures of an Annex B stream, read quickly from its
// headers. 0 for other files, or a stream whose headers do not read (the
// decoder then says what is wrong).
unsigned announcedPictures(const std::string& path);

// Fails, naming `path`, when fewer pictures decoded than were announced.
Status checkAllDecoded(const std::string& path, unsigned announced, size_t decoded);

}  // namespace kestrel::tool
