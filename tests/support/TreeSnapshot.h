#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Every file and folder below a root with its size and modification time, for telling
// whether anything changed outside the places a test allows.
class TreeSnapshot
{
public:
    // Everything below root except the listed subtrees (absolute paths).
    static TreeSnapshot take(const QString &root, const QStringList &excluded = {});
    // Human-readable differences, empty when the two are the same.
    QStringList differencesTo(const TreeSnapshot &later) const;

private:
    QMap<QString, QString> m_entries; // path -> "d" or "size:mtime"
};
