#pragma once

#include <QPointer>
#include <QWidget>

class ImageButton;
class QLabel;

// In-window overlay: dims its whole area and shows a centred box with a
// title bar, a close button and a content area for subclasses to fill.
// The owner places it over the area to dim and shows it.
// While open it holds the keyboard (OverlayKeyboard): it opens with the focus on its first
// control, Tab stays inside it, Esc closes it, and the focus goes back where it was.
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

    // Whether keys for the page behind go to this overlay while it is open.
    virtual bool takesKeyboard() const { return true; }
    // The widget inside the overlay that has the focus, given it first when none has.
    QWidget *focusInside();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    // Where the focus goes when the overlay opens: by default its first control.
    virtual QWidget *firstFocus() const;
    // Moves the keyboard into the overlay (done when it shows).
    void takeKeyboard();
    // Esc: closes, as the title bar's close button does.
    virtual void escapePressed();

    ImageButton *m_closeButton = nullptr;
    QWidget *m_boxFrame = nullptr;
    QWidget *m_titleBar = nullptr;
    QWidget *m_contentArea = nullptr;
    QLabel *m_titleLabel = nullptr;

private:
    QList<QWidget *> focusChain() const;

    QPointer<QWidget> m_focusBefore;
};
