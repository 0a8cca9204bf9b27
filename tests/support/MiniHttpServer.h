#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A tiny loopback HTTP server for faults that must be exact: each request is answered
// by the handler, or the connection is closed at once, or it is never answered.
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
        enum Kind { Answer, Close, Stall } kind = Answer;
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        // Above 0: the body goes out in this many pieces, one every trickleMs, as over a
        // slow line.
        int pieces = 1;
        int trickleMs = 0;
    };
    using Handler = std::function<Response(const Request &)>;

    explicit MiniHttpServer(Handler handler, QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    QString hostPort() const;
    const QList<Request> &requests() const { return m_requests; }
    int connections() const { return m_connections; }

    static Response json(const QByteArray &body);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);

    QTcpServer m_server;
    Handler m_handler;
    QList<Request> m_requests;
    int m_connections = 0;
};
