/* A slow disk for bench/run: loaded with LD_PRELOAD, it makes every fsync and fdatasync
 * take 30 ms more (LUMRA_SLOW_SYNC_MS sets another figure), as on a USB stick or an old
 * hard disk, where the flush of each file waits for the medium. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

static void wait_for_medium(void)
{
    const char *setting = getenv("LUMRA_SLOW_SYNC_MS");
    long ms = setting ? atol(setting) : 30;
    struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0) { }
}

int fsync(int fd)
{
    static int (*real)(int);
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    wait_for_medium();
    return real(fd);
}

int fdatasync(int fd)
{
    static int (*real)(int);
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    wait_for_medium();
    return real(fd);
}
