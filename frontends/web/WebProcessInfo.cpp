// The process services of the WebAssembly builds (the page and the Node
// renderer): there is no /proc to name the process, the secure random source
// is the runtime's (the browser's crypto.getRandomValues, Node's crypto), and
// Node opens the standard streams of the process it runs in.
#include <unistd.h>

#include <cstdlib>

#include "platform/ProcessInfo.h"
#include "platform/StandardStreams.h"

namespace platform {

ProcessInfo ProcessInfo::current() {
    ProcessInfo info;
    info.exit = [](int status) { std::exit(status); };
    return info;
}

uint64_t SystemSecureRandom::next64() {
    uint64_t value = 0;
    getentropy(&value, sizeof value);  // cannot fail short of 256 bytes; aborts where no source exists
    return value;
}

unsigned reserveStandardStreams() { return 0; }

}  // namespace platform
