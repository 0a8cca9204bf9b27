#pragma once

// Shared by the screen tests: a complete process (state, service client, main window)
// and an answerer for the main window's modal message box.

#include "api/APIHandler.h"
#include "api/LearningProgress.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/Theme.h"
#include "support/DemoService.h"
#include "support/TestAppState.h"
#include "ui/MainWidget.h"
#include "ui/WindowParts.h"
#include "widgets/ResourceInit.h"
#include "widgets/StyleButton.h"
#include "widgets/XMessageWidget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <memory>

namespace ScreenTestKit {

using namespace WindowParts;

inline void applyTheme()
{
    initResources();
    qApp->setStyleSheet(Theme::loadStyleSheet());
}

// State, service client, learning progress and main window registered with the accessors, the way
// start-up builds them. Settings can be written between the constructor and buildWindow().
class Environment
{
public:
    Environment()
    {
        m_state = std::make_unique<TestAppState>();
        m_api = std::make_unique<APIHandler>();
        registerApiHandler(m_api.get());
        m_progress = std::make_unique<LearningProgress>(m_api.get());
        registerLearningProgress(m_progress.get());
    }

    ~Environment()
    {
        registerMainWidget(nullptr);
        m_window.reset();
        registerLearningProgress(nullptr);
        m_progress.reset();
        registerApiHandler(nullptr);
        m_api.reset();
        m_state.reset();
    }

    MainWidget *buildWindow()
    {
        m_window = std::make_unique<MainWidget>();
        registerMainWidget(m_window.get());
        m_window->show();
        return m_window.get();
    }

    AppState &state() { return m_state->state(); }
    APIHandler *api() { return m_api.get(); }
    LearningProgress *progress() { return m_progress.get(); }
    MainWidget *window() { return m_window.get(); }

private:
    std::unique_ptr<TestAppState> m_state;
    std::unique_ptr<APIHandler> m_api;
    std::unique_ptr<LearningProgress> m_progress;
    std::unique_ptr<MainWidget> m_window;
};

// Answers every question the main window's message box asks while it lives: records the
// text and presses OK, or Cancel when the next queued answer says so.
class MessageAnswerer
{
public:
    explicit MessageAnswerer(MainWidget *window)
        : m_window(window)
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] { answerIfAsked(); });
        m_poll.start(5);
    }

    // Answers for the next questions, in order; when none is queued, OK.
    void queueCancel() { m_cancels << true; }

    QStringList messages() const { return m_messages; }
    QString last() const { return m_messages.isEmpty() ? QString() : m_messages.last(); }
    void clear() { m_messages.clear(); }

private:
    void answerIfAsked()
    {
        XMessageWidget *box = messageBox(m_window);
        if (!box->isVisible() || !box->okButton()->isVisible())
            return;
        m_messages << box->messageLabel()->text();
        const bool cancel = !m_cancels.isEmpty() && m_cancels.takeFirst();
        QTest::mouseClick(cancel ? static_cast<QWidget *>(box->cancelButton()) : box->okButton(),
                          Qt::LeftButton);
    }

    MainWidget *m_window;
    QTimer m_poll;
    QStringList m_messages;
    QList<bool> m_cancels;
};

// Starts the demo service and points the service client at it.
inline bool startDemo(DemoService &service, QString *error)
{
    if (!service.start()) {
        *error = service.errorString();
        return false;
    }
    service.applyToCurrentProcess();
    ServiceSettings::reload();
    return true;
}

// Waits until the condition holds or the time is up; true when it holds.
template <typename Condition>
bool waitFor(Condition condition, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// Writes the grab of a widget to $LUMRA_SCREENSHOT_DIR/<name>.png when that is set.
inline bool saveScreenshot(QWidget *widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("LUMRA_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return true;
    QDir().mkpath(folder);
    return widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// Labels and buttons that are visible inside `root` but narrower than their text needs.
inline QStringList clippedTexts(QWidget *root)
{
    QStringList clipped;
    const auto labels = root->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (!label->isVisible() || label->text().isEmpty() || label->wordWrap())
            continue;
        int needed = 0;
        for (const QString &line : label->text().split(QLatin1Char('\n')))
            needed = qMax(needed, label->fontMetrics().horizontalAdvance(line));
        if (label->width() < needed)
            clipped << label->text();
    }
    const auto buttons = root->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        if (button->isVisible() && !button->text().isEmpty()
            && button->width() < button->sizeHint().width())
            clipped << button->text();
    }
    return clipped;
}

} // namespace ScreenTestKit
