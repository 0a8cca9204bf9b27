#include "player/PlaybackSpeed.h"

#include <QtMath>

namespace PlaybackSpeed {

const QVector<double> &choices()
{
    static const QVector<double> speeds{0.5, 0.75, 1.0, 1.25, 1.5, 2.0};
    return speeds;
}

namespace {

int indexOf(double speed)
{
    const QVector<double> &speeds = choices();
    for (int i = 0; i < speeds.size(); ++i) {
        if (qAbs(speeds.at(i) - speed) < 0.001)
            return i;
    }
    return -1;
}

} // namespace

QString text(double speed)
{
    // Two decimals where a quarter needs them, else one: "0.75", "1.0", "2.0".
    QString number = QString::number(speed, 'f', 2);
    if (number.endsWith(QLatin1Char('0')))
        number.chop(1);
    return number;
}

QString label(double speed) { return text(speed) + QChar(0x00D7); }

double fromText(const QString &stored)
{
    bool ok = false;
    const double speed = stored.trimmed().toDouble(&ok);
    return ok && indexOf(speed) >= 0 ? choices().at(indexOf(speed)) : Normal;
}

double stepped(double speed, int steps)
{
    int index = indexOf(speed);
    if (index < 0)
        index = indexOf(Normal);
    return choices().at(qBound(0, index + steps, choices().size() - 1));
}

} // namespace PlaybackSpeed
