#pragma once

#include <QString>

// The Chinese text shown for a network reply's error code; empty for codes not listed.
QString networkErrorText(int code);

// Shown when the service answered something the client cannot read (a portal or proxy page
// instead of the service's reply, a reply about a course the client does not know) and gave
// no text of its own.
QString unreadableReplyText();
// Whether a failure text is one of those: the service was not reached or did not answer,
// as opposed to a reply in which the service refused.
bool isNetworkErrorText(const QString &text);

// The service's refusal of a request whose session has expired: the user must sign in again.
QString sessionExpiredText();
