#pragma once

namespace platform {

// Makes sure descriptors 0, 1 and 2 are open, so that no file this process
// opens takes the place of a closed standard stream (trace lines would land
// in an image). Those that were closed are opened on /dev/null; returns a
// bit per stream that was closed (bit 1 for standard output).
unsigned reserveStandardStreams();

}  // namespace platform
