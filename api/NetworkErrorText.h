#pragma once

#include <QString>

// The Chinese text shown for a network reply's error code; empty for codes not listed.
QString networkErrorText(int code);

// Whether a failure text is one of those: the service was not reached or did not answer,
// as opposed to a reply in which the service refused.
bool isNetworkErrorText(const QString &text);
