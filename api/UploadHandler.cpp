#include "api/UploadHandler.h"

#include <QFile>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

UploadHandler::UploadHandler(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
}

bool UploadHandler::upload(const QString &url, const QString &filePath)
{
    auto *file = new QFile(filePath, this);
    if (!file->open(QIODevice::ReadOnly)) {
        delete file;
        return false;
    }

    auto *multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("image/jpeg"));
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"Filedata\"; filename=\"") + filePath
                       + QLatin1Char('"'));
    part.setBodyDevice(file);
    multiPart->append(part);

    QNetworkReply *reply =
        m_manager->post(QNetworkRequest(QUrl(url, QUrl::TolerantMode)), multiPart);
    multiPart->setParent(reply);
    file->setObjectName(QStringLiteral("file"));
    file->setParent(reply);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onUploadFinished(reply); });
    return true;
}

void UploadHandler::onUploadFinished(QNetworkReply *reply)
{
    if (auto *file = reply->findChild<QFile *>(QStringLiteral("file"))) {
        file->close();
        QFile::remove(file->fileName());
    }
    reply->deleteLater();
}
