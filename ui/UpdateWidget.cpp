#include "ui/UpdateWidget.h"

#include "api/APIHandler.h"
#include "api/HttpReplyTimeout.h"
#include "api/ReplyLimits.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/Log.h"
#include "app/MainWindow.h"
#include "platform/AtomicFile.h"
#include "platform/PlatformPaths.h"
#include "widgets/StyleButton.h"

#include <QDebug>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {
const char *const kFileName = "file";
const char *const kWriteFailed = "writeFailed";
const QString kPartialSuffix = QStringLiteral(".download");

// Why a finished installer download is not kept, or empty when it is whole: a complete
// 200 answer whose body starts as an installer of this platform does.
QString refusalOf(QNetworkReply *reply, QFile *file)
{
    if (reply->error() != QNetworkReply::NoError)
        return QStringLiteral("error %1").arg(HttpReplyTimeout::errorOf(reply));
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200)
        return QStringLiteral("status %1").arg(status);
    if (!file || reply->property(kWriteFailed).toBool())
        return QStringLiteral("write failed");
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() != file->size())
        return QStringLiteral("%1 of %2 bytes").arg(file->size()).arg(announced.toLongLong());
    QFile written(file->fileName());
    if (!written.open(QIODevice::ReadOnly) || !PlatformPaths::startsLikeInstaller(written.read(4)))
        return QStringLiteral("not an installer");
    return QString();
}
} // namespace

UpdateWidget::UpdateWidget(QWidget *parent)
    : PopWidget(QStringLiteral("升级"), parent)
{
    QWidget *content = contentArea();
    content->setFixedWidth(400);
    m_statusLabel = new QLabel(QStringLiteral("已经是最新版本啦~"), content);
    m_statusLabel->setObjectName(QStringLiteral("lblUserInfo"));
    m_notesLabel = new QLabel(content);
    m_notesLabel->setObjectName(QStringLiteral("lblClass"));
    m_notesLabel->setWordWrap(true);

    m_progressFill = new QWidget(content);
    m_progressFill->setObjectName(QStringLiteral("CountBox"));
    m_progressFill->setAttribute(Qt::WA_StyledBackground);
    m_progressFill->setFixedWidth(0);
    m_progressTrack = new QWidget(content);
    m_progressTrack->setObjectName(QStringLiteral("ContentWidget"));
    m_progressTrack->setAttribute(Qt::WA_StyledBackground);
    m_progressTrack->setFixedHeight(5);
    auto *trackRow = new QHBoxLayout(m_progressTrack);
    trackRow->setContentsMargins(0, 0, 0, 0);
    trackRow->setSpacing(0);
    trackRow->addWidget(m_progressFill, 0, Qt::AlignLeft);
    m_progressTrack->hide();
    m_progressTrack->installEventFilter(this);

    auto *closeButton = new StyleButton(QStringLiteral("关闭"), QStringLiteral("btnOK3"), content);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(closeButton);

    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addWidget(m_statusLabel);
    layout->addWidget(m_notesLabel);
    layout->addWidget(m_progressTrack);
    layout->addLayout(buttonRow);

    m_network = new QNetworkAccessManager(this);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &UpdateWidget::onHttpResponse);
}

QString UpdateWidget::installerPathFor(const QString &dataDir, const QString &version)
{
    return dataDir + QLatin1Char('/') + version + PlatformPaths::installerExtension();
}

bool UpdateWidget::isSafeVersionText(const QString &version)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9._-]+$"));
    return allowed.match(version).hasMatch();
}

void UpdateWidget::onHttpResponse(int type, int result, const QVariant &info)
{
    Q_UNUSED(info)
    if (type != ReqPcUpdate || !result)
        return;
    const UpdateInfo &update = *appState()->update;
    // The version names a file in the data folder: a reply must not steer it elsewhere.
    if (!isSafeVersionText(update.version)) {
        writeLog(QStringLiteral("update version refused: ") + update.version);
        return;
    }
    m_statusLabel->setText(QStringLiteral("已有新版本：") + update.version);
    m_notesLabel->setText(update.content);
    m_notesLabel->adjustSize();
    boxFrame()->adjustSize();
    m_progressTrack->show();
    startDownload();
}

void UpdateWidget::startDownload()
{
    AppState *state = appState();
    const UpdateInfo &update = *state->update;
    state->installerPath = installerPathFor(state->dataDir, update.version);
    // The address comes from the service: only a web address is fetched.
    const QUrl url(update.downloadUrl, QUrl::TolerantMode);
    if (!ReplyLimits::isFetchable(url)) {
        writeLog(QStringLiteral("installer address refused: ") + update.downloadUrl);
        return;
    }

    auto *file = new QFile(state->installerPath + kPartialSuffix, this);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        writeLog(QStringLiteral("cannot write ") + file->fileName());
        delete file;
        return;
    }
    QNetworkRequest request(url);
    // Download servers often answer with a redirect to a mirror; a few hops are followed,
    // never from https down to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(ReplyLimits::MaxRedirects);
    QNetworkReply *reply = m_network->get(request);
    // A server that stops sending, or sends without end, does not hold the disk for ever.
    new HttpReplyTimeout(reply, HttpReplyTimeout::DefaultMs, ReplyLimits::Installer);
    // The file goes with the reply.
    file->setObjectName(QLatin1String(kFileName));
    file->setParent(reply);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::downloadProgress, this, &UpdateWidget::onDownloadProgress);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void UpdateWidget::onReadyRead(QNetworkReply *reply)
{
    auto *file = reply->findChild<QFile *>(QLatin1String(kFileName));
    if (!file || !reply->isRunning())
        return;
    const QByteArray chunk = reply->readAll();
    // A disk that takes no more ends the download: a short installer is never kept.
    if (file->write(chunk) != chunk.size()) {
        reply->setProperty(kWriteFailed, true);
        reply->abort();
    }
}

void UpdateWidget::onDownloadProgress(qint64 received, qint64 total)
{
    // A server that announces no size reports total -1; the fill then stays as it is.
    if (total <= 0 || received < 0)
        return;
    m_received = double(received) / double(total);
    applyFill();
}

void UpdateWidget::applyFill()
{
    m_progressFill->setFixedWidth(int(m_received * m_progressTrack->width()));
}

bool UpdateWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_progressTrack && event->type() == QEvent::Resize)
        applyFill();
    return PopWidget::eventFilter(watched, event);
}

void UpdateWidget::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    auto *file = reply->findChild<QFile *>(QLatin1String(kFileName));
    if (!file)
        return;
    if (reply->error() == QNetworkReply::NoError && !reply->property(kWriteFailed).toBool()) {
        const QByteArray rest = reply->readAll();
        if (file->write(rest) != rest.size() || !file->flush())
            reply->setProperty(kWriteFailed, true);
    }
    file->close();
    const QString partial = file->fileName();
    const QString installer = appState()->installerPath;
    // Only a whole installer of this platform is kept; anything else goes, so that the
    // banner never offers what cannot run and the next start checks for updates again.
    const QString refusal = refusalOf(reply, file);
    if (!refusal.isEmpty()) {
        writeLog(QStringLiteral("installer download refused (") + refusal + QStringLiteral("): ")
                 + reply->url().toString());
        QFile::remove(partial);
        return;
    }
    // A good installer of that name is never replaced: the fresh copy goes. One that is no
    // installer (an error page an older client kept) is replaced.
    if (PlatformPaths::isInstallerFile(installer)) {
        QFile::remove(partial);
    } else if (!QFile::remove(installer) && QFileInfo::exists(installer)) {
        QFile::remove(partial);
        return;
    } else if (!AtomicFile::commit(partial, installer)) {
        writeLog(QStringLiteral("cannot move the installer to ") + installer);
        QFile::remove(partial);
        return;
    }
    if (MainWindow *window = mainWidget())
        window->showUpdateBanner();
}
