#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace tessivox {

// A file is written whole beside its place and then renamed over it, so a
// reader never sees half of it. These are the steps both writers share.

// The mode a plain create gives a new file: 0666 less the umask.
mode_t plainCreateMode();

// A new file beside `target` (its name and six random characters: the same
// folder, so the rename stays on one file system) with `mode`, which replaces
// the private one a unique create gives. Its path goes into `path` (`size`
// bytes, so that a signal handler may read it). Returns the descriptor, or -1
// with errno set.
int createBeside(const std::string& target, mode_t mode, char* path, size_t size);

}  // namespace tessivox
