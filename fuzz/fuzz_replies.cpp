// Any bytes as the reply to any request type. The first byte picks the type.
#include "api/APIHandler.h"
#include "app/Accessors.h"
#include "app/AppFolders.h"
#include "app/AppState.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "model/Courseware.h"
#include "model/MetaTypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

struct Environment
{
    int argc = 1;
    char name[8] = "fuzz";
    char *argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QTemporaryDir dir;
    AppState state;
    AesCipher cipher;
    APIHandler api;
    FileStream stream;
    Courseware lesson;

    Environment()
    {
        // Point every service setting at a closed loopback port: nothing may leave.
        for (const char *name : {"LUMRA_WEB_HOST", "LUMRA_COURSEWARE_HOST", "LUMRA_ERRORLOG_HOST",
                                 "LUMRA_HTTPDNS_SERVERS"})
            qputenv(name, "127.0.0.1:9");
        registerMetaTypes();
        AppFolders::setUp(state, dir.path() + QStringLiteral("/Documents/"),
                          QStringList() << dir.path() + QStringLiteral("/"));
        cipher.setKey(AesCipher::storeKey());
        registerAppState(&state);
        registerLocalCipher(&cipher);
        registerApiHandler(&api);
        registerFileStream(&stream);
    }

    void reset()
    {
        state.user = UserSession();
        state.user.loginName = QStringLiteral("fuzz");
        // A picture is there already, so a sign-in reply never asks the network for it.
        QDir().mkpath(state.userDir + QStringLiteral("/fuzz"));
        const QString avatar = state.userDir + QStringLiteral("/fuzz/fuzz.jpg");
        QFile file(avatar);
        if (!file.exists() && file.open(QIODevice::WriteOnly))
            file.write("\x89PNG\r\n\x1A\n");
        state.avatarPath = avatar;
        lesson = Courseware();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Environment *environment = new Environment; // lives for the whole run
    if (size == 0)
        return 0;
    environment->reset();
    HttpRequestContext context;
    context.type = data[0] % 13; // 12 is past the last type and must be ignored
    context.args.insert(QStringLiteral("courseId"), environment->lesson.courseId);
    context.args.insert(QStringLiteral("lessonId"), environment->lesson.id);
    const QByteArray body(reinterpret_cast<const char *>(data + 1), int(size - 1));
    // Type 3 has no user's avatar path in this context, so nothing is written.
    environment->api.dispatchReply(body, context);
    return 0;
}
