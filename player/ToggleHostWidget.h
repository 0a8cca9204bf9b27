#pragma once

#include "widgets/PopWidget.h"

#include <QList>

#include <functional>

class QRadioButton;
class QVBoxLayout;

// "切换线路": one radio button per service line. Each show first resolves the lines while
// they are unresolved; a click makes that line the one the next online playback and
// download use.
class ToggleHostWidget : public PopWidget
{
    Q_OBJECT

public:
    explicit ToggleHostWidget(QWidget *parent = nullptr);

    QList<QRadioButton *> lineButtons() const { return m_buttons; }
    // How the loading overlay is shown while the lines resolve; the main window's unless set.
    void setLoadingHandler(std::function<void(bool)> handler)
    {
        m_loadingHandler = std::move(handler);
    }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuildButtons();
    void setLoading(bool visible);

    QVBoxLayout *m_buttonLayout = nullptr;
    QList<QRadioButton *> m_buttons;
    std::function<void(bool)> m_loadingHandler;
};
