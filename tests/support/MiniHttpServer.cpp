#include "support/MiniHttpServer.h"

#include <QHostAddress>
#include <QTimer>
#include <QTcpSocket>

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
    if (end < 0) {
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
            request.headers.append({lines.at(i).left(colon).trimmed(), lines.at(i).mid(colon + 1).trimmed()});
    }
    m_requests.append(request);

    const Response response = m_handler(request);
    if (response.kind == Response::Close) {
        socket->abort();
        return;
    }
    if (response.kind == Response::Stall)
        return;
    const QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " X\r\nContent-Type: "
                            + response.contentType + "\r\nContent-Length: "
                            + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n";
    if (response.trickleMs <= 0 || response.pieces <= 1) {
        socket->write(head + response.body);
        socket->disconnectFromHost();
        return;
    }
    socket->write(head);
    const int size = (response.body.size() + response.pieces - 1) / response.pieces;
    for (int i = 0; i < response.pieces; ++i) {
        QTimer::singleShot(i * response.trickleMs, socket, [socket, piece = response.body.mid(i * size, size),
                                                            last = i == response.pieces - 1] {
            socket->write(piece);
            if (last)
                socket->disconnectFromHost();
        });
    }
}
