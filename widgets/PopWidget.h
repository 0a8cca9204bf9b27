#pragma once

#include <QWidget>

class ImageButton;
class QLabel;

// In-window overlay: dims its whole area and shows a centred box with a
// title bar, a close button and a content area for subclasses to fill.
// The owner places it over the area to dim and shows it.
class PopWidget : public QWidget
{
    Q_OBJECT
public:
    explicit PopWidget(const QString &title, QWidget *parent = nullptr);

    QWidget *boxFrame() const { return m_boxFrame; }
    QWidget *titleBar() const { return m_titleBar; }
    QWidget *contentArea() const { return m_contentArea; }
    QLabel *titleLabel() const { return m_titleLabel; }
    ImageButton *closeButton() const { return m_closeButton; }

protected:
    void paintEvent(QPaintEvent *event) override;

    ImageButton *m_closeButton = nullptr;
    QWidget *m_boxFrame = nullptr;
    QWidget *m_titleBar = nullptr;
    QWidget *m_contentArea = nullptr;
    QLabel *m_titleLabel = nullptr;
};
