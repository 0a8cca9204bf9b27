#include "ui/TestDriver.h"

#include "app/Accessors.h"
#include "app/AppState.h"
#include "download/FileStream.h"
#include "model/ThumbnailItem.h"
#include "player/FFPlayer.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <sys/stat.h>

namespace {

QString widgetText(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text().isEmpty() ? edit->placeholderText() : edit->text();
    return widget->accessibleName();
}

void sendMouse(QWidget *target, const QPoint &pos, QEvent::Type type)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::instance()->notify(target, &event);
}

void click(QWidget *target, const QPoint &pos, bool twice)
{
    QPointer<QWidget> guard(target);
    sendMouse(target, pos, QEvent::MouseButtonPress);
    if (guard)
        sendMouse(target, pos, QEvent::MouseButtonRelease);
    if (twice && guard) {
        sendMouse(target, pos, QEvent::MouseButtonDblClick);
        if (guard)
            sendMouse(target, pos, QEvent::MouseButtonRelease);
    }
}

void sendKey(QWidget *target, int key, const QString &text,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::instance()->notify(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::instance()->notify(target, &release);
}

QModelIndex findItem(const QAbstractItemModel *model, const QString &text,
                     const QModelIndex &parent = {})
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        // Course and lesson tiles carry their title in a role of their own.
        if (index.data(Qt::DisplayRole).toString() == text
            || index.data(ThumbnailItem::TitleRole).toString() == text)
            return index;
        const QModelIndex child = findItem(model, text, index);
        if (child.isValid())
            return child;
    }
    return {};
}

// Clicks after the answer went out: a click may open a question or a playback, whose
// nested loop must not hold the answer back.
void later(QWidget *target, const QPoint &pos, bool twice)
{
    QPointer<QWidget> guard(target);
    QTimer::singleShot(0, target, [guard, pos, twice] {
        if (guard)
            click(guard, pos, twice);
    });
}

// "NAME rest of the text" -> NAME and the rest.
QPair<QString, QString> headAndRest(const QString &text)
{
    const int space = text.indexOf(QLatin1Char(' '));
    if (space < 0)
        return {text, QString()};
    return {text.left(space), text.mid(space + 1)};
}

} // namespace

TestDriver::TestDriver(QObject *parent)
    : QObject(parent)
{
}

bool TestDriver::startFromEnvironment()
{
    const QString name = qEnvironmentVariable("LUMRA_TEST_DRIVER");
    if (name.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by an earlier run is cleared; any other kind of file stays untouched.
    struct stat info;
    if (::lstat(QFile::encodeName(name).constData(), &info) == 0 && S_ISSOCK(info.st_mode))
        QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this,
                    [this, socket] { onReadyRead(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}

void TestDriver::onReadyRead(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        // Answer first for commands that open a nested loop (a question, a playback):
        // the test must not wait for the loop to end.
        socket->write(run(line).toUtf8() + '\n');
        socket->flush();
    }
}

QWidget *TestDriver::findWidget(const QString &selector, const QString &givenText) const
{
    // "NAME@TEXT" picks among widgets of one name by their text (or placeholder).
    const int at = selector.indexOf(QLatin1Char('@'));
    const QString name = at < 0 ? selector : selector.left(at);
    const QString text = at < 0 ? givenText : selector.mid(at + 1);
    QWidget *fallback = nullptr;
    for (QWidget *widget : QApplication::allWidgets()) {
        if (widget->objectName() != name
            && QLatin1String(widget->metaObject()->className()) != name)
            continue;
        if (!widget->isVisible())
            continue;
        if (!text.isEmpty() && widgetText(widget) != text)
            continue;
        if (widget->isEnabled())
            return widget;
        fallback = widget;
    }
    return fallback;
}

QString TestDriver::run(const QString &line)
{
    const auto [command, rest] = headAndRest(line);
    const auto [name, argument] = headAndRest(rest);

    if (command == QLatin1String("state")) {
        const AppState *state = appState();
        FileStream *stream = fileStream();
        FFPlayer *player = FFPlayer::current();
        // The control bar's two times, as it shows them: the position left, the length right.
        QList<QLabel *> times;
        if (player)
            times = player->findChildren<QLabel *>(QStringLiteral("lblContent12_FFF"));
        return QStringLiteral("ok signedIn=%1 line=%2 lines=%3 paused=%4 busy=%5 player=%6 "
                              "length=%7 position=%8")
            .arg(state && state->signedIn)
            .arg(state ? state->currentLine : -1)
            .arg(state ? state->lines.size() : 0)
            .arg(stream && stream->isPaused())
            .arg(stream && stream->isBusy())
            .arg(player != nullptr)
            .arg(times.value(1) ? times.value(1)->text() : QString())
            .arg(times.value(0) ? times.value(0)->text() : QString());
    }
    if (command == QLatin1String("focus")) {
        QWidget *focus = QApplication::focusWidget();
        if (!focus)
            return QStringLiteral("ok - - -");
        const QString name =
            focus->objectName().isEmpty() ? QStringLiteral("-") : focus->objectName();
        return QStringLiteral("ok %1 %2 %3")
            .arg(name, QLatin1String(focus->metaObject()->className()), widgetText(focus));
    }
    if (command == QLatin1String("clickaction")) {
        // An entry of the menu that is open now, clicked where it is drawn.
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *menu = qobject_cast<QMenu *>(widget);
            if (!menu || !menu->isVisible())
                continue;
            for (QAction *action : menu->actions()) {
                if (action->text() == rest) {
                    later(menu, menu->actionGeometry(action).center(), false);
                    return QStringLiteral("ok");
                }
            }
        }
        return QStringLiteral("error no open menu entry ") + rest;
    }
    if (command == QLatin1String("closeplayer")) {
        // The player window's own close button does this.
        FFPlayer *player = FFPlayer::current();
        if (!player)
            return QStringLiteral("error no player");
        QTimer::singleShot(0, player, &QWidget::close);
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("shot")) {
        int n = 0;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || window->width() < 50)
                continue;
            const QString path = n == 0 ? rest : rest + QStringLiteral(".%1.png").arg(n);
            window->grab().save(path);
            ++n;
        }
        return n ? QStringLiteral("ok %1").arg(n) : QStringLiteral("error no window");
    }
    if (command == QLatin1String("item") || command == QLatin1String("clickitem")
        || command == QLatin1String("dclickitem") || command == QLatin1String("checkitem")) {
        auto *view = qobject_cast<QAbstractItemView *>(findWidget(name, QString()));
        if (!view || !view->model())
            return QStringLiteral("error no view ") + name;
        const QModelIndex index = findItem(view->model(), argument);
        if (command == QLatin1String("item"))
            return QStringLiteral("ok %1").arg(index.isValid() ? 1 : 0);
        if (!index.isValid())
            return QStringLiteral("error no item ") + argument;
        view->scrollTo(index);
        if (command == QLatin1String("checkitem")) {
            // What a click on the item's box does: flip its check state through the model.
            const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            const bool changed = view->model()->setData(
                index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
            return changed ? QStringLiteral("ok") : QStringLiteral("error not checkable");
        }
        later(view->viewport(), view->visualRect(index).center(),
              command == QLatin1String("dclickitem"));
        return QStringLiteral("ok");
    }

    QWidget *widget = findWidget(
        name,
        command == QLatin1String("type") || command == QLatin1String("key") ? QString() : argument);
    if (command == QLatin1String("visible"))
        return QStringLiteral("ok %1").arg(widget ? 1 : 0);
    if (!widget)
        return QStringLiteral("error no widget ") + rest;
    if (command == QLatin1String("text"))
        return QStringLiteral("ok ") + widgetText(widget);
    if (command == QLatin1String("rect")) {
        const QRect onScreen(widget->mapToGlobal(QPoint(0, 0)), widget->size());
        const QScreen *screen = widget->screen();
        const QRect free = screen ? screen->availableGeometry() : QRect();
        return QStringLiteral("ok %1 %2 %3 %4 %5 %6 %7 %8")
            .arg(onScreen.x())
            .arg(onScreen.y())
            .arg(onScreen.width())
            .arg(onScreen.height())
            .arg(free.x())
            .arg(free.y())
            .arg(free.width())
            .arg(free.height());
    }
    if (command == QLatin1String("click") || command == QLatin1String("dclick")) {
        later(widget, widget->rect().center(), command == QLatin1String("dclick"));
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("type")) {
        widget->setFocus(Qt::MouseFocusReason);
        for (const QChar c : argument)
            sendKey(widget, 0, QString(c));
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("key")) {
        static const QHash<QString, int> keys = {{QStringLiteral("Return"), Qt::Key_Return},
                                                 {QStringLiteral("Escape"), Qt::Key_Escape},
                                                 {QStringLiteral("Tab"), Qt::Key_Tab},
                                                 {QStringLiteral("Space"), Qt::Key_Space},
                                                 {QStringLiteral("SelectAll"), Qt::Key_A}};
        if (!keys.contains(argument))
            return QStringLiteral("error unknown key ") + argument;
        QPointer<QWidget> target(widget);
        const int key = keys.value(argument);
        const QString text = argument == QLatin1String("Space") ? QStringLiteral(" ") : QString();
        const Qt::KeyboardModifiers modifiers =
            argument == QLatin1String("SelectAll") ? Qt::ControlModifier : Qt::NoModifier;
        QTimer::singleShot(0, widget, [target, key, text, modifiers] {
            if (target)
                sendKey(target, key, text, modifiers);
        });
        return QStringLiteral("ok");
    }
    return QStringLiteral("error unknown command ") + command;
}
