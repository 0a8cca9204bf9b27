#include "ui/PlaceholderPage.h"

#include <QLabel>
#include <QVBoxLayout>

PlaceholderPage::PlaceholderPage(const QString &caption, QWidget *parent)
    : StyleWidget(QStringLiteral("f8Widget"), parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(caption, this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
}
