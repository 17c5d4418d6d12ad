// The standard streams on Windows. The C runtime keeps descriptors 0 to 2
// for them whatever handles the process was given (a missing one is marked
// with handle -2, or -1 in older runtimes), so no file opened later can take
// their place; what is left is to tell which ones are missing.
//
// Output and error are switched to binary mode: a trace line then ends in
// "\n" alone, as on Linux, and traces compare byte for byte.
#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include "platform/StandardStreams.h"

namespace platform {

unsigned reserveStandardStreams() {
    unsigned closed = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        const intptr_t handle = _get_osfhandle(fd);
        if (handle == -1 || handle == -2) closed |= 1u << fd;
    }
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
    return closed;
}

}  // namespace platform
