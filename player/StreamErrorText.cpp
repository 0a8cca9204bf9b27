#include "player/StreamErrorText.h"

#include "api/NetworkErrorText.h"

#include <QNetworkReply>
#include <QRegularExpression>

namespace {

// The same mapping the network access manager applies to an HTTP status.
int errorForStatus(int status)
{
    switch (status) {
    case 400: return QNetworkReply::ProtocolInvalidOperationError;
    case 401: return QNetworkReply::AuthenticationRequiredError;
    case 403: return QNetworkReply::ContentAccessDenied;
    case 404: return QNetworkReply::ContentNotFoundError;
    case 405: return QNetworkReply::ContentOperationNotPermittedError;
    case 407: return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409: return QNetworkReply::ContentConflictError;
    case 410: return QNetworkReply::ContentGoneError;
    case 500: return QNetworkReply::InternalServerError;
    case 501: return QNetworkReply::OperationNotImplementedError;
    case 503: return QNetworkReply::ServiceUnavailableError;
    default:
        return status >= 500 ? QNetworkReply::UnknownServerError
                             : QNetworkReply::UnknownContentError;
    }
}

} // namespace

int StreamErrorText::errorCode(const QStringList &playerLog)
{
    static const QRegularExpression httpStatus(QStringLiteral("HTTP error (\\d{3})"));
    for (const QString &line : playerLog) {
        const QRegularExpressionMatch match = httpStatus.match(line);
        if (match.hasMatch())
            return errorForStatus(match.captured(1).toInt());
        if (line.contains(QLatin1String("Connection refused")))
            return QNetworkReply::ConnectionRefusedError;
        if (line.contains(QLatin1String("timed out"), Qt::CaseInsensitive))
            return QNetworkReply::TimeoutError;
        if (line.contains(QLatin1String("resolve hostname")))
            return QNetworkReply::HostNotFoundError;
        if (line.contains(QLatin1String("Connection reset")))
            return QNetworkReply::RemoteHostClosedError;
    }
    return QNetworkReply::UnknownNetworkError;
}

QString StreamErrorText::fromPlayerLog(const QStringList &playerLog)
{
    return networkErrorText(errorCode(playerLog));
}
