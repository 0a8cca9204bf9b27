// Built into the test build of the client only (see CMakeLists.txt): the shipped program
// has no way to be crashed on request.
#include "platform/CrashHandler.h"

#include <csignal>
#include <unistd.h>

namespace CrashHandler {

void crashForTest()
{
    ::raise(SIGSEGV);
    ::_exit(134);
}

} // namespace CrashHandler
