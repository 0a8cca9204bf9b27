#pragma once

#include <QString>
#include <QVector>

// The speeds a lesson can play at, and how one is written in the settings and on screen.
namespace PlaybackSpeed {
constexpr double Normal = 1.0;
// 0.5, 0.75, 1.0, 1.25, 1.5 and 2.0.
const QVector<double> &choices();
// "0.5" ... "2.0"; the stored text of the settings file, without the sign.
QString text(double speed);
// "1.5×": the control's label.
QString label(double speed);
// A stored text back: one of the choices, else normal speed (hand-edited or absent).
double fromText(const QString &text);
// The choice steps up (positive) or down from the one given, stopping at either end.
double stepped(double speed, int steps);
} // namespace PlaybackSpeed
