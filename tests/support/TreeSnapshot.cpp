#include "support/TreeSnapshot.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>

TreeSnapshot TreeSnapshot::take(const QString &root, const QStringList &excluded)
{
    TreeSnapshot snapshot;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        bool skip = false;
        for (const QString &prefix : excluded)
            skip = skip || path == prefix || path.startsWith(prefix + QLatin1Char('/'));
        if (skip)
            continue;
        const QFileInfo info = it.fileInfo();
        snapshot.m_entries.insert(
            path, info.isDir() ? QStringLiteral("d")
                               : QString::number(info.size()) + QLatin1Char(':')
                                     + QString::number(info.lastModified().toMSecsSinceEpoch()));
    }
    return snapshot;
}

QStringList TreeSnapshot::differencesTo(const TreeSnapshot &later) const
{
    QStringList differences;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (!later.m_entries.contains(it.key()))
            differences << QStringLiteral("removed ") + it.key();
        else if (later.m_entries.value(it.key()) != it.value())
            differences << QStringLiteral("changed ") + it.key();
    }
    for (auto it = later.m_entries.cbegin(); it != later.m_entries.cend(); ++it) {
        if (!m_entries.contains(it.key()))
            differences << QStringLiteral("created ") + it.key();
    }
    return differences;
}
