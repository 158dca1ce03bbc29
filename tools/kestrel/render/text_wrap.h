// SPDX-License-Identifier: Apache-2.0
// Breaking a line of text (a chart's title, which names an input file whose
// path can be as long as the file system allows) into lines no wider than
// the space there is. Kept apart from cairo, which only measures, so that
// the breaking can be tested alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kestrel::tool {

// The lines of `text`, each no wider than `maxWidth` by `widthOf` where that
// can be done, their concatenation (with the spaces they were broken at)
// giving `text` back. Breaks after a space first; a word wider than the line
// on its own (a path) breaks after a '/' (the folder stays with its slash),
// and only a piece without any of these is cut between characters (never
// inside a UTF-8 sequence). A text that fits is one line; an empty text is
// one empty line.
std::vector<std::string> wrapText(const std::string& text, double maxWidth,
                                  const std::function<double(const std::string&)>& widthOf);

}  // namespace kestrel::tool
