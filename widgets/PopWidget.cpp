#include "widgets/PopWidget.h"

#include "widgets/ImageButton.h"
#include "widgets/OverlayKeyboard.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

PopWidget::PopWidget(const QString &title, QWidget *parent)
    : QWidget(parent)
{
    m_closeButton = new ImageButton(QStringLiteral("close_m"), QStringLiteral("close_m"), this);
    m_boxFrame = new QWidget(this);
    m_boxFrame->setObjectName(QStringLiteral("MessageBox"));
    m_titleBar = new QWidget(m_boxFrame);
    m_titleBar->setObjectName(QStringLiteral("MessageBoxTitle"));
    m_titleBar->setFixedHeight(45);
    m_contentArea = new QWidget(m_boxFrame);
    m_contentArea->setObjectName(QStringLiteral("MessageBox"));
    // Named boxes are plain QWidgets; without this their style-sheet background would not show.
    m_boxFrame->setAttribute(Qt::WA_StyledBackground, true);
    m_titleBar->setAttribute(Qt::WA_StyledBackground, true);
    m_contentArea->setAttribute(Qt::WA_StyledBackground, true);
    // Holds the focus itself when it has no control that takes it (the loading overlay).
    setFocusPolicy(Qt::ClickFocus);

    m_titleLabel = new QLabel(title, m_titleBar);
    m_titleLabel->setObjectName(QStringLiteral("lblUserInfo"));
    auto *titleLayout = new QHBoxLayout(m_titleBar);
    titleLayout->addWidget(m_titleLabel);
    titleLayout->addStretch();
    titleLayout->addWidget(m_closeButton);
    m_closeButton->setFixedSize(30, 30);

    auto *boxLayout = new QVBoxLayout(m_boxFrame);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->setSpacing(0);
    boxLayout->addWidget(m_titleBar);
    boxLayout->addWidget(m_contentArea);

    auto *overlayLayout = new QVBoxLayout(this);
    overlayLayout->addWidget(m_boxFrame, 0, Qt::AlignCenter);

    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void PopWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 120));
    QWidget::paintEvent(event);
}

QList<QWidget *> PopWidget::focusChain() const
{
    // The overlay's own controls that Tab reaches, in the order Tab visits them.
    QList<QWidget *> chain;
    for (QWidget *widget = nextInFocusChain(); widget && widget != this;
         widget = widget->nextInFocusChain()) {
        if (isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus) && widget->isVisible()
            && widget->isEnabled() && widget != m_closeButton)
            chain << widget;
    }
    return chain;
}

QWidget *PopWidget::firstFocus() const
{
    const QList<QWidget *> chain = focusChain();
    return chain.isEmpty() ? const_cast<PopWidget *>(this) : chain.first();
}

QWidget *PopWidget::focusInside()
{
    QWidget *focus = QApplication::focusWidget();
    if (focus && (focus == this || isAncestorOf(focus)) && focus->isVisible())
        return focus;
    QWidget *first = firstFocus();
    first->setFocus(Qt::OtherFocusReason);
    return first;
}

void PopWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    takeKeyboard();
}

void PopWidget::takeKeyboard()
{
    if (!takesKeyboard())
        return;
    QWidget *focus = QApplication::focusWidget();
    if (focus && focus != this && !isAncestorOf(focus))
        m_focusBefore = focus;
    OverlayKeyboard::opened(this);
    focusInside();
}

void PopWidget::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A hidden ancestor (the window minimised) leaves the overlay open.
    if (!isHidden())
        return;
    OverlayKeyboard::closed(this);
    QWidget *focus = QApplication::focusWidget();
    const bool focusWasHere = !focus || focus == this || isAncestorOf(focus);
    if (!focusWasHere)
        return;
    if (PopWidget *front = OverlayKeyboard::frontOverlay(window())) {
        front->focusInside();
    } else if (m_focusBefore && m_focusBefore->isVisible() && m_focusBefore->isEnabled()) {
        m_focusBefore->setFocus(Qt::OtherFocusReason);
    } else if (focus) {
        focus->clearFocus();
    }
    m_focusBefore = nullptr;
}

void PopWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        escapePressed();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PopWidget::escapePressed() { close(); }

bool PopWidget::focusNextPrevChild(bool next)
{
    // Tab goes round the overlay's controls and never to the page behind it.
    const QList<QWidget *> chain = focusChain();
    if (chain.isEmpty())
        return true;
    const int at = chain.indexOf(QApplication::focusWidget());
    int to = next ? at + 1 : at - 1;
    if (at < 0)
        to = next ? 0 : chain.size() - 1;
    to = (to + chain.size()) % chain.size();
    chain.at(to)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}
