#include "support/MiniHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

QByteArray MiniHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return QByteArray();
}

MiniHttpServer::MiniHttpServer(Handler handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &MiniHttpServer::onNewConnection);
}

QString MiniHttpServer::hostPort() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port());
}

QString MiniHttpServer::url(const QByteArray &target) const
{
    return QStringLiteral("http://") + hostPort() + QString::fromLatin1(target);
}

MiniHttpServer::Response MiniHttpServer::json(const QByteArray &body)
{
    Response response;
    response.body = body;
    return response;
}

void MiniHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connections;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void MiniHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const int end = buffer.indexOf("\r\n\r\n");
    if (end < 0 || socket->property("answered").toBool()) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("buffer", QByteArray());
    // Requests here carry no body the tests care about (uploads are read and dropped).
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    Request request;
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.target = first.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            request.headers.append(
                {lines.at(i).left(colon).trimmed(), lines.at(i).mid(colon + 1).trimmed()});
    }
    m_requests.append(request);

    const Response response = m_handler(request);
    if (response.kind == Response::Close) {
        socket->abort();
        return;
    }
    if (response.kind == Response::Stall)
        return;
    socket->setProperty("answered", true);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " X\r\nContent-Type: "
                      + response.contentType + "\r\n" + response.extraHeaders;
    const bool endless = response.kind == Response::Endless;
    // An endless body announces no length unless the test gives one.
    if (endless ? response.contentLength >= 0 : response.contentLength != -2)
        head += "Content-Length: "
                + QByteArray::number(response.contentLength >= 0 ? response.contentLength
                                                                 : response.body.size())
                + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (!endless && response.bytesPerSecond <= 0) {
        socket->write(response.body);
        m_bytesSent += response.body.size();
        socket->disconnectFromHost();
        return;
    }
    stream(socket, response);
}

// Sends the body in pieces: at the drip rate, or as fast as the client takes it while
// keeping little queued here, so the server never holds much memory itself.
void MiniHttpServer::stream(QTcpSocket *socket, const Response &response)
{
    struct State
    {
        QByteArray body;
        qint64 offset = 0;
        qint64 sent = 0;
    };
    auto state = std::make_shared<State>();
    state->body = response.body.isEmpty() ? QByteArray(64 * 1024, 'x') : response.body;
    const bool endless = response.kind == Response::Endless;
    const qint64 limit = endless ? response.endlessLimit : response.body.size();
    const int rate = response.bytesPerSecond;
    constexpr int tickMs = 50;
    const qint64 piece = rate > 0 ? qMax<qint64>(1, qint64(rate) * tickMs / 1000) : 256 * 1024;

    QPointer<QTcpSocket> guarded(socket);
    auto pump = [this, guarded, state, limit, piece] {
        if (!guarded || guarded->state() != QAbstractSocket::ConnectedState)
            return;
        while (state->sent < limit && guarded->bytesToWrite() < 1024 * 1024) {
            const qint64 take = qMin(piece, limit - state->sent);
            QByteArray chunk;
            while (chunk.size() < take) {
                const qint64 from = state->offset % state->body.size();
                const QByteArray part = state->body.mid(
                    int(from), int(qMin<qint64>(take - chunk.size(), state->body.size() - from)));
                chunk += part;
                state->offset += part.size();
            }
            guarded->write(chunk);
            state->sent += chunk.size();
            m_bytesSent += chunk.size();
            if (piece < 256 * 1024)
                break; // one piece per tick when dripping
        }
        if (state->sent >= limit)
            guarded->disconnectFromHost();
    };
    if (rate > 0) {
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, pump);
        timer->start(tickMs);
        pump();
    } else {
        connect(socket, &QTcpSocket::bytesWritten, socket, pump);
        pump();
    }
}
