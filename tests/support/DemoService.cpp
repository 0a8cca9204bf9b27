#include "DemoService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

namespace {

QString mediaCacheDir()
{
    const QString configured = qEnvironmentVariable("LUMRA_DEMO_MEDIA_CACHE");
    return configured.isEmpty() ? QDir::tempPath() + QStringLiteral("/lumra-demo-media-cache")
                                : configured;
}

} // namespace

DemoService::DemoService(const QStringList &extraArguments)
    : m_extraArguments(extraArguments)
{
}

DemoService::~DemoService() { stop(); }

bool DemoService::start(int timeoutMs)
{
    const QString program = qEnvironmentVariable("LUMRA_DEMO_SERVICE");
    if (program.isEmpty()) {
        m_error = QStringLiteral("LUMRA_DEMO_SERVICE is not set");
        return false;
    }
    if (!m_dataDir->isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dataDir->errorString();
        return false;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, QStringList{QStringLiteral("--port"), QString::number(m_port),
                                         QStringLiteral("--data"), m_dataDir->path(),
                                         QStringLiteral("--media-cache"), mediaCacheDir()}
                                 + m_extraArguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString());
        return false;
    }

    // One "listening on" line, then one "export NAME=VALUE" line per variable.
    const int expectedVariables = 6;
    m_port = 0;
    m_variables.clear();
    QElapsedTimer timer;
    timer.start();
    while (m_port == 0 || m_variables.size() < expectedVariables) {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("listening on "))) {
                m_port = quint16(line.section(QLatin1Char(':'), -1).toUInt());
            } else if (line.startsWith(QLatin1String("export "))) {
                const QString assignment = line.mid(7);
                const int equals = assignment.indexOf(QLatin1Char('='));
                if (equals > 0)
                    m_variables.insert(assignment.left(equals), assignment.mid(equals + 1));
            }
        }
        if (m_port != 0 && m_variables.size() >= expectedVariables)
            break;
        const int left = timeoutMs - int(timer.elapsed());
        if (m_process.state() != QProcess::Running || left <= 0) {
            m_error =
                QStringLiteral("service did not report its port (state %1)").arg(m_process.state());
            stop();
            return false;
        }
        m_process.waitForReadyRead(qMin(left, 200));
    }
    return true;
}

void DemoService::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool DemoService::restartWithFreshData()
{
    const quint16 port = m_port;
    stop();
    m_dataDir = std::make_unique<QTemporaryDir>();
    m_port = port;
    return start();
}

bool DemoService::restart()
{
    const quint16 port = m_port;
    stop();
    m_port = port;
    return start();
}

bool DemoService::isRunning() const { return m_process.state() == QProcess::Running; }

QString DemoService::requestLogPath() const
{
    return m_dataDir->filePath(QStringLiteral("requests.jsonl"));
}

QString DemoService::uploadsDir() const { return m_dataDir->filePath(QStringLiteral("errorlog")); }

QProcessEnvironment DemoService::processEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = m_variables.cbegin(); it != m_variables.cend(); ++it)
        environment.insert(it.key(), it.value());
    return environment;
}

void DemoService::applyToCurrentProcess() const
{
    for (auto it = m_variables.cbegin(); it != m_variables.cend(); ++it)
        qputenv(it.key().toUtf8().constData(), it.value().toUtf8());
}

QUrl DemoService::webUrl(const QString &pathAndQuery) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(pathAndQuery));
}

QList<QJsonObject> DemoService::requestLog() const
{
    QList<QJsonObject> entries;
    QFile file(requestLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.trimmed().isEmpty())
            entries.append(QJsonDocument::fromJson(line).object());
    }
    return entries;
}

QList<QJsonObject> DemoService::requestLog(const QString &endpoint) const
{
    QList<QJsonObject> matching;
    const QList<QJsonObject> entries = requestLog();
    for (const QJsonObject &entry : entries) {
        if (entry.value(QStringLiteral("endpoint")).toString() == endpoint)
            matching.append(entry);
    }
    return matching;
}

bool DemoService::setFaults(const QList<QPair<QString, QString>> &settings)
{
    QUrlQuery query;
    for (const auto &setting : settings)
        query.addQueryItem(setting.first, setting.second);
    return control(query.query(QUrl::FullyEncoded));
}

bool DemoService::clearFaults() { return control(QStringLiteral("clear=1")); }

bool DemoService::control(const QString &query)
{
    QNetworkAccessManager network;
    QNetworkReply *reply =
        network.get(QNetworkRequest(webUrl(QStringLiteral("/__control?") + query)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const bool finished = reply->isFinished();
    m_controlState = QJsonDocument::fromJson(reply->readAll()).object();
    const bool ok = finished && reply->error() == QNetworkReply::NoError
                    && m_controlState.value(QStringLiteral("ok")).toBool();
    if (!finished)
        reply->abort();
    delete reply;
    if (!ok)
        m_error = QStringLiteral("control request refused: ") + query;
    return ok;
}
