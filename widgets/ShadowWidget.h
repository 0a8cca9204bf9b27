#pragma once

#include "widgets/StyleWidget.h"

#include <QPoint>

class ImageButton;
class ImageCheckButton;
class QHBoxLayout;
class QVBoxLayout;

// Frameless top-level window with its own minimise, maximise and close
// buttons in a title bar; dragging anywhere on the window moves it.
class ShadowWidget : public StyleWidget
{
    Q_OBJECT
public:
    explicit ShadowWidget(QWidget *parent = nullptr);

    QWidget *titleBar() const { return m_titleBar; }
    QWidget *body() const { return m_body; }
    ImageCheckButton *maxButton() const { return m_maxButton; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

    QWidget *m_titleBar = nullptr;
    QWidget *m_body = nullptr;
    QVBoxLayout *m_layout = nullptr;
    ImageButton *m_minButton = nullptr;
    ImageButton *m_closeButton = nullptr;
    ImageCheckButton *m_maxButton = nullptr;
    QHBoxLayout *m_titleLayout = nullptr;
    QPoint m_dragOffset;
    bool m_dragging = false;
};
