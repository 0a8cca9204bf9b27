#include "model/YaheiFont.h"

#include <QFont>
#include <QStringList>

QFont YaheiFont::font(int pointSize)
{
    QFont font(QStringLiteral("Microsoft Yahei"), pointSize);
    // Without the first family the glyphs would come from a font that has no Chinese.
    font.setFamilies({QStringLiteral("Microsoft Yahei"), QStringLiteral("WenQuanYi Micro Hei")});
    return font;
}
