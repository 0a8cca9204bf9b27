#include "app/Log.h"

#include "app/Accessors.h"
#include "app/AppState.h"

#include <QDebug>
#include <QFile>

void appendLogLine(const QString &path, const QString &text)
{
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(text.toUtf8());
    file.write("\r\n");
    file.flush();
}

void writeLog(const QString &text)
{
    qDebug().noquote() << text;
    if (const AppState *state = appState())
        appendLogLine(state->logPath, text);
}
