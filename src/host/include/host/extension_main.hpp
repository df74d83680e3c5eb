// The programs' main routine: one request from the command line, served through the extension.
#pragma once

#include <span>

#include "host/service.hpp"

namespace zaro {

/// The extension's main routine: serves the one request its command line states.
//
// Preview: `PROGRAM INPUT OUTPUT`, thumbnail: `PROGRAM -s SIZE INPUT OUTPUT`; INPUT is a path or a
// file:// URI; OUTPUT is written whole or not at all, or is `-` for standard output (previews). The
// process confines itself before it reads INPUT. The preview's title goes to standard output, or to
// standard error when the image does. Returns 0 when the output was written, 1 when nothing could
// be, 2 for a malformed command line.
int extensionMain(std::span<char* const> arguments, const Extension& extension);

}  // namespace zaro
