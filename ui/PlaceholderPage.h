#pragma once

#include "widgets/StyleWidget.h"

// A page whose real content arrives later; it shows its name so a screenshot tells
// which page is current.
class PlaceholderPage : public StyleWidget
{
    Q_OBJECT

public:
    PlaceholderPage(const QString &caption, QWidget *parent = nullptr);
};
