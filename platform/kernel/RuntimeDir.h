#pragma once
// The per-user runtime folder for the program's locks and sockets.
#include <string>

namespace platform::kernel {

// $XDG_RUNTIME_DIR/tavrel, else /tmp/tavrel-<uid>; created mode 0700 and checked to be
// ours. Empty when no safe folder can be had.
std::string RuntimeFolder();

}  // namespace platform::kernel
