#include "RequestLog.h"

#include <QJsonDocument>

RequestLog::RequestLog(const QString &path)
    : m_file(path)
{
    m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void RequestLog::append(const QJsonObject &entry)
{
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard<std::mutex> lock(m_mutex);
    // One write and a flush per line: readers never see half an entry between requests.
    m_file.write(line);
    m_file.flush();
}
