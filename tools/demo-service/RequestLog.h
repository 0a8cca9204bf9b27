#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

#include <mutex>

// Appends one JSON object per line for every request, so tests can see what the client sent.
class RequestLog
{
public:
    explicit RequestLog(const QString &path);

    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    void append(const QJsonObject &entry);

private:
    std::mutex m_mutex;
    QFile m_file;
};
