#pragma once

namespace platform {

// Makes sure that no file this process opens takes the place of a closed
// standard stream (trace lines would land in an image), and returns a bit per
// stream that was closed (bit 1 for standard output). On Linux a closed
// descriptor is opened on /dev/null; on Windows the C runtime keeps
// descriptors 0 to 2 for the streams anyway, and output and error are put in
// binary mode so that lines end as they do on Linux.
unsigned reserveStandardStreams();

}  // namespace platform
