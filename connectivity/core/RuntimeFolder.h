#pragma once
#include <string>

namespace ado {

// A folder for this user's passing files (sockets, locks, generated configuration), readable by the
// user alone: $XDG_RUNTIME_DIR/tarnwick, else /tmp/tarnwick-UID. Made on first use; a folder of that
// name that is not the user's own, or that others may enter, is not used. Empty when none can be had.
std::string RuntimeFolder();

}  // namespace ado
