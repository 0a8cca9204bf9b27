#pragma once

#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;

// Posts a file (the previous run's crash dump) as a multipart form and deletes it once
// the reply has finished, whatever its outcome.
class UploadHandler : public QObject
{
    Q_OBJECT

public:
    explicit UploadHandler(QObject *parent = nullptr);

    // True when the file could be opened and the POST was started.
    bool upload(const QString &url, const QString &filePath);

private:
    void onUploadFinished(QNetworkReply *reply);

    QNetworkAccessManager *m_manager = nullptr;
};
