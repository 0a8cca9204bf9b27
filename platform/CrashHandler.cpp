#include "platform/CrashHandler.h"

#include <QFile>

#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace CrashHandler {

namespace {

constexpr int kPathMax = 4096;
constexpr int kMaxArgs = 8;
constexpr int kArgMax = 1024;
constexpr int kFrames = 64;
const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

char g_reportPath[kPathMax];
char g_program[kPathMax];
char g_argStorage[kMaxArgs][kArgMax];
char *g_argv[kMaxArgs + 1];
alignas(16) char g_altStack[64 * 1024];

void copyTo(char *destination, int size, const QByteArray &source)
{
    const int length = qMin(size - 1, source.size());
    std::memcpy(destination, source.constData(), size_t(length));
    destination[length] = '\0';
}

void writeText(int fd, const char *text)
{
    ssize_t ignored = ::write(fd, text, std::strlen(text));
    (void)ignored;
}

void writeNumber(int fd, long value)
{
    char digits[24];
    int i = int(sizeof digits);
    const bool negative = value < 0;
    unsigned long v = negative ? 0ul - unsigned(value) : unsigned(value);
    digits[--i] = '\0';
    do {
        digits[--i] = char('0' + v % 10);
        v /= 10;
    } while (v && i > 1);
    if (negative && i > 0)
        digits[--i] = '-';
    writeText(fd, digits + i);
}

void onFatalSignal(int signalNumber)
{
    const int fd = ::open(g_reportPath, O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        writeText(fd, "crash report\nsignal ");
        writeNumber(fd, signalNumber);
        writeText(fd, "\npid ");
        writeNumber(fd, long(::getpid()));
        writeText(fd, "\nbacktrace:\n");
        void *frames[kFrames];
        const int count = ::backtrace(frames, kFrames);
        ::backtrace_symbols_fd(frames, count, fd);
        ::fsync(fd);
        ::close(fd);
    }
    if (g_program[0] != '\0') {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execv(g_program, g_argv);
            ::_exit(127);
        }
    }
    struct sigaction restore = {};
    restore.sa_handler = SIG_DFL;
    sigemptyset(&restore.sa_mask);
    ::sigaction(signalNumber, &restore, nullptr);
    ::raise(signalNumber);
}

} // namespace

void install(const QString &reportPath, const QString &messageProgram,
             const QStringList &messageArguments)
{
    copyTo(g_reportPath, kPathMax, QFile::encodeName(reportPath));
    copyTo(g_program, kPathMax, QFile::encodeName(messageProgram));
    int argc = 0;
    copyTo(g_argStorage[argc], kArgMax, QFile::encodeName(messageProgram));
    g_argv[argc] = g_argStorage[argc];
    ++argc;
    for (const QString &argument : messageArguments) {
        if (argc >= kMaxArgs)
            break;
        copyTo(g_argStorage[argc], kArgMax, argument.toUtf8());
        g_argv[argc] = g_argStorage[argc];
        ++argc;
    }
    g_argv[argc] = nullptr;

    // The first backtrace() loads its unwinder, which allocates; do it now, not in the handler.
    void *frames[4];
    ::backtrace(frames, 4);

    stack_t stack = {};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    action.sa_flags = SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

} // namespace CrashHandler
