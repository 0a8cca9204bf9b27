#pragma once

#include <QLibrary>
#include <QString>

#include <mpv/client.h>
#include <mpv/render.h>

// libmpv opened at run time rather than linked: its two hundred-odd dependencies would
// otherwise all be bound at process start, before the first window appears. Types and
// constants still come from the libmpv headers; every call goes through the pointers below,
// which are all set when isLoaded() is true and all null otherwise.
class MpvLibrary
{
public:
    // The system's libmpv ("mpv", ABI 2, else the unversioned name), loaded at the first
    // call; later calls answer the same object. Thread-safe.
    static const MpvLibrary &instance();
    // Loads instance() on a worker thread after delayMs of the GUI thread's event loop, so
    // that the first lesson does not wait for the dynamic loader (about 200 ms) while the
    // program's start does not either.
    static void preloadLater(int delayMs);

    // Tries "lib<name>.so.<version>", then "lib<name>.so" when version >= 0.
    explicit MpvLibrary(const QString &name, int version = -1);
    MpvLibrary(const MpvLibrary &) = delete;
    MpvLibrary &operator=(const MpvLibrary &) = delete;

    bool isLoaded() const { return m_loaded; }
    // Why loading failed: the file that could not be opened or the function it lacks.
    QString failure() const { return m_failure; }
    QString fileName() const { return m_library.fileName(); }

    decltype(&::mpv_client_api_version) clientApiVersion = nullptr;
    decltype(&::mpv_error_string) errorString = nullptr;
    decltype(&::mpv_create) create = nullptr;
    decltype(&::mpv_initialize) initialize = nullptr;
    decltype(&::mpv_terminate_destroy) terminateDestroy = nullptr;
    decltype(&::mpv_set_option) setOption = nullptr;
    decltype(&::mpv_set_option_string) setOptionString = nullptr;
    decltype(&::mpv_set_property) setProperty = nullptr;
    decltype(&::mpv_set_property_string) setPropertyString = nullptr;
    decltype(&::mpv_get_property) getProperty = nullptr;
    decltype(&::mpv_observe_property) observeProperty = nullptr;
    decltype(&::mpv_request_log_messages) requestLogMessages = nullptr;
    decltype(&::mpv_set_wakeup_callback) setWakeupCallback = nullptr;
    decltype(&::mpv_wait_event) waitEvent = nullptr;
    decltype(&::mpv_command_node) commandNode = nullptr;
    decltype(&::mpv_command_string) commandString = nullptr;
    decltype(&::mpv_command_async) commandAsync = nullptr;
    decltype(&::mpv_free_node_contents) freeNodeContents = nullptr;
    // The render API, by which our own OpenGL surface draws the pictures.
    decltype(&::mpv_render_context_create) renderContextCreate = nullptr;
    decltype(&::mpv_render_context_set_update_callback) renderContextSetUpdateCallback = nullptr;
    decltype(&::mpv_render_context_render) renderContextRender = nullptr;
    decltype(&::mpv_render_context_free) renderContextFree = nullptr;

private:
    bool open(const QString &name, int version);
    bool resolveAll();
    template <typename Function>
    bool resolve(Function &pointer, const char *symbol);
    void clear();

    QLibrary m_library;
    QString m_failure;
    bool m_loaded = false;
};
