// lumra-bench-index: the download index of a user with many downloads, saved and loaded as
// the client does it (FileStream::saveIndex / loadIndex, enciphered, through a temporary
// file and a rename), and the store cipher's raw throughput.
//
//   lumra-bench-index [--courses 100] [--lessons 200] [--runs 5] [--cipher-mb 64]
//                     [--write-plain FILE]
//
// Prints "key value" lines for bench/run. --write-plain writes the bytes the cipher was
// timed on, so that openssl can be timed on the same bytes; "cipher-digest" is the SHA-256
// of our enciphered output, to compare with openssl's.
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "support/TestAppState.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Records shaped as the service hands them on: Chinese titles, numbered lessons, each with
// its folder in the store.
Course makeCourse(int courseIndex, int lessons, const QString &downloadDir)
{
    Course course;
    course.id = QString::number(100000 + courseIndex);
    course.title = QStringLiteral("2026临床执业医师精讲班 第%1期").arg(courseIndex + 1);
    course.img = QStringLiteral("https://img.example.invalid/course/%1.jpg").arg(course.id);
    course.localPath = downloadDir + QLatin1Char('/') + course.id;
    course.endtime = QStringLiteral("2027-06-30");
    course.addTime = QStringLiteral("2026-03-01 09:30:00");
    for (int i = 0; i < lessons; ++i) {
        Courseware lesson;
        lesson.courseId = course.id;
        lesson.id = QString::number(5000000 + courseIndex * 1000 + i);
        lesson.number = QString::number(i + 1);
        lesson.cType = QStringLiteral("1");
        lesson.type = QStringLiteral("kejian");
        lesson.title = QStringLiteral("第%1讲 心血管系统疾病（%2）").arg(i + 1).arg(i % 7 + 1);
        lesson.cTime = QStringLiteral("00:45:12");
        lesson.stutas = QStringLiteral("1");
        lesson.watchtimes = QString::number(i % 5);
        lesson.level = Courseware::Lesson;
        lesson.downloadState = i % 10 == 0 ? Courseware::Queued : Courseware::Downloaded;
        lesson.localPath = course.localPath + QLatin1Char('/') + lesson.id;
        course.coursewares << lesson;
    }
    return course;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

QString range(const std::vector<double> &values, int digits)
{
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return QStringLiteral("%1-%2").arg(*low, 0, 'f', digits).arg(*high, 0, 'f', digits);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("courses"), QStringLiteral("courses in the list"),
                      QStringLiteral("n"), QStringLiteral("100")});
    parser.addOption({QStringLiteral("lessons"), QStringLiteral("lessons per course"),
                      QStringLiteral("n"), QStringLiteral("200")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("runs per figure"),
                      QStringLiteral("n"), QStringLiteral("5")});
    parser.addOption({QStringLiteral("cipher-mb"), QStringLiteral("MiB for the cipher"),
                      QStringLiteral("n"), QStringLiteral("64")});
    parser.addOption({QStringLiteral("write-plain"),
                      QStringLiteral("write the cipher's input here"), QStringLiteral("file")});
    parser.process(app);
    const int courses = parser.value(QStringLiteral("courses")).toInt();
    const int lessons = parser.value(QStringLiteral("lessons")).toInt();
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    const int cipherMiB = std::max(1, parser.value(QStringLiteral("cipher-mb")).toInt());

    TestAppState env;
    AppState &state = env.state();
    state.user.loginName = QStringLiteral("13800138000");
    state.user.nickname = QStringLiteral("张同学");
    state.user.sid = QStringLiteral("bench-session");
    state.user.loginTime = QDateTime::currentDateTime();
    state.user.version = QStringLiteral("3.4.3.0");
    for (int c = 0; c < courses; ++c)
        state.user.downloads << makeCourse(c, lessons, state.downloadDir);
    state.userDataDir = state.userDir + QLatin1Char('/') + state.user.loginName;
    QDir().mkpath(state.userDataDir);
    state.userStoreFile = state.userDataDir + QStringLiteral("/kecheng.zg");
    Settings::setText(state.settings.get(), SettingKeys::LastUser, state.user.loginName);

    FileStream stream;
    const QString indexFile = FileStream::indexFileFor(state.userStoreFile);
    std::vector<double> saves, loads;
    int loadedLessons = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        stream.saveIndex();
        saves.push_back(clock.nsecsElapsed() / 1e6);

        state.user = UserSession();
        clock.restart();
        const bool signedIn = stream.loadIndex();
        loads.push_back(clock.nsecsElapsed() / 1e6);
        loadedLessons = 0;
        for (const Course &course : state.user.downloads)
            loadedLessons += course.coursewares.size();
        if (!signedIn || loadedLessons != courses * lessons) {
            out() << "error the index did not load back (" << loadedLessons << " lessons)\n";
            return 1;
        }
    }
    out() << "index-bytes " << QFileInfo(indexFile).size() << "\n";
    out() << "index-lessons " << loadedLessons << "\n";
    out() << "save-ms " << QString::number(median(saves), 'f', 2) << " " << range(saves, 1) << "\n";
    out() << "load-ms " << QString::number(median(loads), 'f', 2) << " " << range(loads, 1) << "\n";

    // Raw cipher throughput over the buffer helpers the index goes through, the file
    // system left out: memory to memory, one block at a time as the store does.
    QByteArray plain(cipherMiB * 1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < plain.size(); ++i)
        plain[i] = char((i * 131 + (i >> 11)) & 0xff);
    if (parser.isSet(QStringLiteral("write-plain"))) {
        QFile file(parser.value(QStringLiteral("write-plain")));
        if (!file.open(QIODevice::WriteOnly) || file.write(plain) != plain.size()) {
            out() << "error cannot write " << file.fileName() << "\n";
            return 1;
        }
    }
    AesCipher &cipher = env.cipher();
    QByteArray enciphered(plain.size(), Qt::Uninitialized);
    QByteArray deciphered(plain.size(), Qt::Uninitialized);
    std::vector<double> encrypt, decrypt;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        auto *in = reinterpret_cast<const quint8 *>(plain.constData());
        auto *enc = reinterpret_cast<quint8 *>(enciphered.data());
        for (int at = 0; at < plain.size(); at += AesCipher::BlockSize)
            cipher.encryptBlock(in + at, enc + at);
        encrypt.push_back(cipherMiB / (clock.nsecsElapsed() / 1e9));
        clock.restart();
        auto *dec = reinterpret_cast<quint8 *>(deciphered.data());
        for (int at = 0; at < plain.size(); at += AesCipher::BlockSize)
            cipher.decryptBlock(enc + at, dec + at);
        decrypt.push_back(cipherMiB / (clock.nsecsElapsed() / 1e9));
    }
    if (deciphered != plain) {
        out() << "error the cipher did not give the bytes back\n";
        return 1;
    }
    out() << "cipher-bytes " << plain.size() << "\n";
    out() << "encrypt-mibs " << QString::number(median(encrypt), 'f', 1) << " " << range(encrypt, 0)
          << "\n";
    out() << "decrypt-mibs " << QString::number(median(decrypt), 'f', 1) << " " << range(decrypt, 0)
          << "\n";
    out() << "cipher-digest "
          << QCryptographicHash::hash(enciphered, QCryptographicHash::Sha256).toHex() << "\n";
    out() << "store-key " << AesCipher::storeKey().toHex() << "\n";
    return 0;
}
