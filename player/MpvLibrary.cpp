#include "player/MpvLibrary.h"

#include <QThreadPool>
#include <QTimer>

const MpvLibrary &MpvLibrary::instance()
{
    // Never unloaded: the decoder's threads may outlive any one player.
    static const MpvLibrary library(QStringLiteral("mpv"), 2);
    return library;
}

void MpvLibrary::preloadLater(int delayMs)
{
    // The static in instance() is initialised once even when both threads ask at once: a
    // player made meanwhile waits for the load under way instead of starting another.
    QTimer::singleShot(delayMs, [] { QThreadPool::globalInstance()->start([] { instance(); }); });
}

MpvLibrary::MpvLibrary(const QString &name, int version)
{
    // The unversioned name is only installed with the development files, so it is the fallback.
    if (!open(name, version) && !(version >= 0 && open(name, -1)))
        return;
    if (!resolveAll()) {
        clear();
        return;
    }
    // The structures in <mpv/client.h> are only valid for the same major version.
    const unsigned long found = clientApiVersion();
    if ((found >> 16) != (MPV_CLIENT_API_VERSION >> 16)) {
        m_failure = QStringLiteral("%1 has client API %2.%3, %4.x needed")
                        .arg(m_library.fileName())
                        .arg(found >> 16)
                        .arg(found & 0xffff)
                        .arg(MPV_CLIENT_API_VERSION >> 16);
        clear();
        return;
    }
    m_failure.clear();
    m_loaded = true;
}

bool MpvLibrary::open(const QString &name, int version)
{
    if (version >= 0)
        m_library.setFileNameAndVersion(name, version);
    else
        m_library.setFileName(name);
    if (m_library.load())
        return true;
    // The first attempt's reason names the file users are expected to have.
    if (m_failure.isEmpty())
        m_failure = m_library.errorString();
    return false;
}

bool MpvLibrary::resolveAll()
{
    return resolve(clientApiVersion, "mpv_client_api_version")
           && resolve(errorString, "mpv_error_string") && resolve(create, "mpv_create")
           && resolve(initialize, "mpv_initialize")
           && resolve(terminateDestroy, "mpv_terminate_destroy")
           && resolve(setOption, "mpv_set_option")
           && resolve(setOptionString, "mpv_set_option_string")
           && resolve(setProperty, "mpv_set_property")
           && resolve(setPropertyString, "mpv_set_property_string")
           && resolve(getProperty, "mpv_get_property")
           && resolve(observeProperty, "mpv_observe_property")
           && resolve(requestLogMessages, "mpv_request_log_messages")
           && resolve(setWakeupCallback, "mpv_set_wakeup_callback")
           && resolve(waitEvent, "mpv_wait_event") && resolve(commandNode, "mpv_command_node")
           && resolve(commandString, "mpv_command_string")
           && resolve(commandAsync, "mpv_command_async")
           && resolve(freeNodeContents, "mpv_free_node_contents")
           && resolve(renderContextCreate, "mpv_render_context_create")
           && resolve(renderContextSetUpdateCallback, "mpv_render_context_set_update_callback")
           && resolve(renderContextRender, "mpv_render_context_render")
           && resolve(renderContextFree, "mpv_render_context_free");
}

template <typename Function>
bool MpvLibrary::resolve(Function &pointer, const char *symbol)
{
    pointer = reinterpret_cast<Function>(m_library.resolve(symbol));
    if (!pointer)
        m_failure = QStringLiteral("%1 lacks %2").arg(m_library.fileName(), QLatin1String(symbol));
    return pointer != nullptr;
}

void MpvLibrary::clear()
{
    // A half-resolved table must not be usable: all pointers or none.
    clientApiVersion = nullptr;
    errorString = nullptr;
    create = nullptr;
    initialize = nullptr;
    terminateDestroy = nullptr;
    setOption = nullptr;
    setOptionString = nullptr;
    setProperty = nullptr;
    setPropertyString = nullptr;
    getProperty = nullptr;
    observeProperty = nullptr;
    requestLogMessages = nullptr;
    setWakeupCallback = nullptr;
    waitEvent = nullptr;
    commandNode = nullptr;
    commandString = nullptr;
    commandAsync = nullptr;
    freeNodeContents = nullptr;
    renderContextCreate = nullptr;
    renderContextSetUpdateCallback = nullptr;
    renderContextRender = nullptr;
    renderContextFree = nullptr;
}
