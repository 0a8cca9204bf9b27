#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class M3u8Playlist;
class SegmentWriter;
class QUrl;

// Downloads one lesson: its HLS playlist, every AES key it names and every segment. Leaves
// in the save folder the enciphered playlist rewritten to local paths ("00000.zs"), the
// enciphered keys ("00000.zx", "00001.zx", ...) and the segment files, each written under a
// temporary name as it arrives and renamed into place only when complete (on a writer
// thread of its own, see SegmentWriter). Redirects are
// followed (a few hops, never from https to http); only whole 2xx answers of the right
// kind are kept. Runs on the GUI thread and never blocks.
class M3u8Loader : public QObject
{
    Q_OBJECT

public:
    // Reply types, carried as the reply property "type".
    enum RequestKind {
        PlaylistRequest = 0,
        KeyRequest = 1,
        SegmentRequest = 2
    };
    static constexpr int MaxInFlight = 5;
    static constexpr int MaxCommitting = 8; // whole segments waiting for the disk
    static constexpr int MaxRetries = 10;   // the failure after the 11th retry gives up
    static constexpr int RetryDelayMs = 100;
    static constexpr int TickMs = 1000;
    static constexpr const char *PartSuffix = ".part";

    explicit M3u8Loader(QObject *parent = nullptr);
    ~M3u8Loader() override;

    // Where the loader learns whether the queue is paused; without one it asks the
    // process-wide download queue.
    void setPauseCheck(std::function<bool()> isPaused);

    void start(const QString &playlistUrl, const QString &saveFolder, const QByteArray &keyCookie);
    // Finishes with isCancel true at once and drops the requests still out.
    void cancel();

    bool isFinished() const { return m_finished; }
    bool hasFailed() const { return m_errorRaised; }

signals:
    void FinishedSignal(bool isCancel);
    void ProgressSignal(double progress, double speed);
    void ErrorSignal(QString text);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    bool isPaused() const;
    bool isStopped() const { return m_finished || m_errorRaised; }
    void loadM3u8();
    void loadKey();
    void loadSegList();
    // Sends segment requests until five are out; segments found on disk are skipped.
    void issueSegments();
    // hops: redirects followed so far; sameOrigin: the request goes where the lesson's
    // playlist was asked for, so it names the media host (and the key cookie goes along).
    void httpGetRequest(const QUrl &url, int type, int segment = -1, int hops = 0,
                        bool sameOrigin = true);
    void onHttpRequestFinished(QNetworkReply *reply);
    // Writes what arrived of a segment to its ".part" file; false when it must not be kept.
    bool onSegmentData(QNetworkReply *reply);
    bool followRedirect(QNetworkReply *reply, int type, int segment);
    void onNetworkError(QNetworkReply *reply, int type, int segment);
    // Reads the playlist and stores its enciphered copy off the GUI thread; the result
    // arrives in onPlaylistParsed.
    void parsePlaylist(const QByteArray &body, const QUrl &from);
    // refused: the first address that is no web address; written: the stored copy is there.
    void onPlaylistParsed(const M3u8Playlist &playlist, const QString &refused, bool written);
    void storeKey(const QByteArray &body);
    void onLoadSegFinish(QNetworkReply *reply, int segment);
    void onSegmentCommitted(int segment, bool stored);
    // Drops what a reply had written of its segment.
    void discardPart(QNetworkReply *reply);
    void removeStrayParts();
    void abortReplies();
    void finish(bool isCancel);
    void raiseError(const QString &text);
    double progress() const;

    QNetworkAccessManager *m_network = nullptr;
    SegmentWriter *m_writer = nullptr;
    QString m_playlistUrl;
    QStringList m_keyUrls; // key i is stored as StoreFolders::keyFileNameAt(i)
    int m_nextKey = 0;
    int m_playlistRun = 0; // tells a playlist read for this run from one read for an earlier
    QString m_saveFolder;
    QByteArray m_keyCookie;
    QStringList m_segmentUrls;
    int m_inFlight = 0;
    int m_committing = 0; // segments handed to the writer, not answered yet
    int m_nextSegment = 0;
    quint64 m_bytesThisTick = 0;
    int m_timerId = 0;
    int m_errorCount = 0;
    bool m_errorRaised = false;
    bool m_cancelRequested = false;
    bool m_finished = false;

    QStringList m_segmentFiles; // local path of each segment
    QVector<bool> m_segmentEnciphered;
    QList<int> m_retrySegments; // failed segments, requested again before new ones
    std::function<bool()> m_pauseCheck;
};
