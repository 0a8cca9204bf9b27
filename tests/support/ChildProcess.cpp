#include "support/ChildProcess.h"

#include <csignal>

#include <sys/prctl.h>

void ChildProcess::setupChildProcess()
{
    // In the child, between fork and exec: asked to stop when the test's thread goes.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}
