#pragma once

class QFont;

// The lists' text font: "Microsoft Yahei" where it is installed, else the CJK fallback.
namespace YaheiFont {
QFont font(int pointSize);
}
