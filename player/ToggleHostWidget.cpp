#include "player/ToggleHostWidget.h"

#include "api/APIHandler.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/MainWindow.h"

#include <QRadioButton>
#include <QVBoxLayout>

ToggleHostWidget::ToggleHostWidget(QWidget *parent)
    : PopWidget(QStringLiteral("切换线路"), parent)
{
}

void ToggleHostWidget::showEvent(QShowEvent *event)
{
    const AppState *state = appState();
    if (state && !state->linesResolved) {
        setLoading(true);
        if (APIHandler *api = apiHandler())
            api->resolveLines();
        rebuildButtons();
        setLoading(false);
    }
    PopWidget::showEvent(event);
}

void ToggleHostWidget::rebuildButtons()
{
    qDeleteAll(m_buttons);
    m_buttons.clear();
    delete m_buttonLayout;

    m_buttonLayout = new QVBoxLayout(m_contentArea);
    m_buttonLayout->setSpacing(15);
    m_buttonLayout->setContentsMargins(100, 25, 100, 25);
    AppState *state = appState();
    if (!state)
        return;
    for (int i = 0; i < state->lines.size(); ++i) {
        auto *button = new QRadioButton(i == 0 ? QStringLiteral("默认线路")
                                               : QStringLiteral("线路") + QString::number(i),
                                        m_contentArea);
        button->setObjectName(QStringLiteral("rdSetting"));
        button->setProperty("index", i);
        button->setChecked(i == state->currentLine);
        connect(button, &QRadioButton::clicked, this, [button] {
            if (AppState *s = appState())
                s->currentLine = button->property("index").toInt();
        });
        m_buttonLayout->addWidget(button);
        m_buttons.append(button);
    }
}

void ToggleHostWidget::setLoading(bool visible)
{
    if (m_loadingHandler)
        m_loadingHandler(visible);
    else if (MainWindow *main = mainWidget())
        main->setLoading(visible);
}
