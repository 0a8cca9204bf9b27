#pragma once

#include "widgets/PopWidget.h"

#include <QVariant>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;

// The update overlay. When the update check offers a newer version it downloads the
// installer in the background into the data folder, shows the progress and, once the
// installer is complete, has the main window show its banner.
class UpdateWidget : public PopWidget
{
    Q_OBJECT

public:
    explicit UpdateWidget(QWidget *parent = nullptr);

    // Where the installer of this version goes: data folder + "/" + version + extension.
    static QString installerPathFor(const QString &dataDir, const QString &version);
    // A version usable in a file name: letters, digits, ".", "_" and "-" only.
    static bool isSafeVersionText(const QString &version);

    QLabel *statusLabel() const { return m_statusLabel; }
    QLabel *notesLabel() const { return m_notesLabel; }
    QWidget *progressFill() const { return m_progressFill; }
    QWidget *progressTrack() const { return m_progressTrack; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyFill();
    void onHttpResponse(int type, int result, const QVariant &info);
    void startDownload();
    void onReadyRead(QNetworkReply *reply);
    void onDownloadProgress(qint64 received, qint64 total);
    void onFinished(QNetworkReply *reply);

    QLabel *m_statusLabel = nullptr;
    QLabel *m_notesLabel = nullptr;
    QWidget *m_progressFill = nullptr;
    QWidget *m_progressTrack = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    // Share of the installer received; the fill follows it whenever the track is resized,
    // because the download usually runs while the overlay is hidden and not laid out.
    double m_received = 0.0;
};
