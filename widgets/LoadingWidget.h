#pragma once

#include "widgets/PopWidget.h"

class QLabel;
class QMovie;
class StyleWidget;

// Overlay asking the user to wait: a dimmed area with a small animated panel
// and no title bar.
class LoadingWidget : public PopWidget
{
    Q_OBJECT
public:
    explicit LoadingWidget(QWidget *parent = nullptr);

    QMovie *movie() const { return m_movie; }
    StyleWidget *panel() const { return m_panel; }

private:
    QMovie *m_movie = nullptr;
    QLabel *m_movieLabel = nullptr;
    StyleWidget *m_panel = nullptr;
    QLabel *m_textLabel = nullptr;
};
