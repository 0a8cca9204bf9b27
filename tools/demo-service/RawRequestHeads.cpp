#include "RawRequestHeads.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace {

constexpr int recordLimit = 64 * 1024; // request heads come first; long bodies are not needed

thread_local bool t_recording = false;
thread_local QByteArray t_received;

using RecvFunction = ssize_t (*)(int, void *, size_t, int);

RecvFunction systemRecv()
{
    static const RecvFunction function = reinterpret_cast<RecvFunction>(dlsym(RTLD_NEXT, "recv"));
    return function;
}

} // namespace

// Takes the place of the C library's recv for the HTTP library (it reads sockets only
// through recv) and forwards every call unchanged; server threads also keep a copy.
extern "C" ssize_t recv(int fd, void *buffer, size_t length, int flags)
{
    const ssize_t received = systemRecv()(fd, buffer, length, flags);
    if (t_recording && received > 0 && !(flags & MSG_PEEK) && t_received.size() < recordLimit)
        t_received.append(static_cast<const char *>(buffer), int(received));
    return received;
}

void RawRequestHeads::beginRecording()
{
    t_received.clear();
    t_recording = true;
}

void RawRequestHeads::endRecording()
{
    t_recording = false;
    t_received.clear();
}

bool RawRequestHeads::take(const std::string &method, const std::string &target,
                           QList<Header> *headers)
{
    headers->clear();
    const QByteArray requestLine = QByteArray::fromStdString(method + ' ' + target + " HTTP/");
    const int start = t_received.lastIndexOf(requestLine);
    const int end = start < 0 ? -1 : t_received.indexOf("\r\n\r\n", start);
    if (end < 0) {
        t_received.clear();
        return false;
    }
    const QList<QByteArray> lines = t_received.mid(start, end - start).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon > 0)
            headers->append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    t_received.clear();
    return true;
}
