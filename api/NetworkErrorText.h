#pragma once

#include <QString>

// The Chinese text shown for a network reply's error code; empty for codes not listed.
QString networkErrorText(int code);
