#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QWidget;

// Lets an end-to-end test use the real program as a person would: it finds widgets by
// object name and text and sends them the same mouse and key events a user's hand would.
// Part of the test build (lumra-test) only, never of the installed program; active when
// LUMRA_TEST_DRIVER names the path of a local socket, which only this user may open.
// One command per line, one answer line each ("ok ..." or "error ...").
//
// NAME is an object name or class name, optionally "NAME@TEXT" to pick by text or
// placeholder among several widgets of one name.
//   click NAME [TEXT]        press and release the left button in the widget's middle
//   dclick NAME [TEXT]       double click it
//   type NAME TEXT           focus it and type the text
//   key NAME KEY             one key: Return, Escape, Tab, Space
//   text NAME [TEXT]         the widget's text
//   visible NAME [TEXT]      "ok 1" when such a widget is visible
//   item VIEW TEXT           "ok 1" when the view shows an item with that text
//   clickitem VIEW TEXT      click the item with that text ("checkitem" toggles its box,
//   dclickitem VIEW TEXT     "dclickitem" double clicks it)
//   clickaction TEXT         click that entry of the menu that is open
//   closeplayer              close the player window, as its close button does
//   state                    signed-in flag, current line, queue and player facts
//   focus                    the widget the keyboard is on: "ok NAME CLASS TEXT"
//   rect NAME [TEXT]         "ok x y w h" of the widget on the screen, then "x y w h" of
//                            the free area of the screen it is on
//   shot PATH                save a picture of every visible top-level window
class TestDriver : public QObject
{
    Q_OBJECT

public:
    explicit TestDriver(QObject *parent = nullptr);
    // Starts listening when the environment asks for it; false otherwise.
    bool startFromEnvironment();

private:
    void onReadyRead(QLocalSocket *socket);
    QString run(const QString &line);
    QWidget *findWidget(const QString &name, const QString &text) const;

    QLocalServer *m_server = nullptr;
};
