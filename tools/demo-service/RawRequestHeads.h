#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <string>

// The HTTP library percent-decodes header values before handlers see them ("keys=a%2Bb"
// arrives as "keys=a+b"), which hides exactly what the key check and the request log must
// see. So the bytes a server thread receives are kept for that thread (see recv() in the
// source), and each handler takes its request head back out of them, verbatim.
class RawRequestHeads
{
public:
    using Header = QPair<QByteArray, QByteArray>;

    // Starts or stops recording the calling thread's received bytes.
    static void beginRecording();
    static void endRecording();

    // The head of the request just received on this thread ("GET /x?y HTTP/1.1" ...);
    // false when it was not recorded. Forgets everything recorded so far.
    static bool take(const std::string &method, const std::string &target, QList<Header> *headers);
};
