#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A tiny loopback HTTP server for faults that must be exact: each request is answered
// by the handler, or the connection is closed at once, or it is never answered. Hostile
// answers too: a body that never ends, a length that is never sent, a slow drip.
class MiniHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // path and query as sent
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray header(const QByteArray &name) const;
    };
    struct Response
    {
        // Endless: the body is sent again and again, without a length, until the client
        // gives up (or `endlessLimit` bytes have gone, so a client that never does cannot
        // take the machine's memory with it).
        enum Kind {
            Answer,
            Close,
            Stall,
            Endless
        } kind = Answer;
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        QByteArray extraHeaders;   // raw header lines, each ending in "\r\n"
        qint64 contentLength = -1; // announced length; -1: the body's (none when endless), -2: none
        int bytesPerSecond = 0;    // > 0: the body drips at this rate
        qint64 endlessLimit = qint64(1) << 30;
    };
    using Handler = std::function<Response(const Request &)>;

    explicit MiniHttpServer(Handler handler, QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    QString hostPort() const;
    QString url(const QByteArray &target) const;
    const QList<Request> &requests() const { return m_requests; }
    int connections() const { return m_connections; }
    // Body bytes written so far to all clients.
    qint64 bytesSent() const { return m_bytesSent; }

    static Response json(const QByteArray &body);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void stream(QTcpSocket *socket, const Response &response);

    QTcpServer m_server;
    Handler m_handler;
    QList<Request> m_requests;
    int m_connections = 0;
    qint64 m_bytesSent = 0;
};
