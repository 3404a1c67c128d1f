#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <functional>
#include <optional>
#include <utility>

class QNetworkAccessManager;
class QNetworkReply;

namespace auth::OAuth {

// The device flow's client; also the client of an import that names none.
inline constexpr char kClientId[] = "7f3e2a91-0c5d-4e86-b2a4-9d1c6e8f3b57";

QUrl deviceCodeUrl();
QUrl tokenUrl();

using FormFields = QList<std::pair<QString, QString>>;

// application/x-www-form-urlencoded: only letters, digits and -._~ stay as
// they are. '+', '&', '=', '/' and '?' are encoded, since a form decoder
// reads '+' as a space and splits on '&'.
QByteArray formBody(const FormFields &fields);

// The most of a reply body read: room for a token reply with two tokens
// of the largest size taken; the rest of a longer body is not waited for.
inline constexpr qsizetype kReplyLimit = 256 * 1024;

// What came back from one request.
struct HttpOutcome {
    bool transportFailed = false; // no HTTP reply: refused, reset, timed out, aborted
    QString transportError;       // the network layer's description
    bool isHttp = false;
    int status = 0;
    QByteArray body; // at most kReplyLimit bytes
    bool cut = false; // the body was longer; the reply was ended after its start
};

// The service's words in the body, fit to show; empty when the body is not
// UTF-8 (a character cut at the read limit is no fault).
QString serviceWords(const HttpOutcome &outcome);

// POSTs the form with the conventions of every OAuth request (form content
// type, 60-second timeout). `started` receives the reply so a caller can
// abort it. The body is never logged.
QCoro::Task<HttpOutcome> postForm(QNetworkAccessManager &network, QUrl url, FormFields fields,
                                  std::function<void(QNetworkReply *)> started = {});

// The body as a JSON object; a body that does not parse, or is not an
// object, gives an empty object.
QJsonObject objectOrEmpty(const QByteArray &body);

// What is wrong with a body that is no JSON at all, said for the person:
// too large to read, empty, a web page (with its title), other text (with
// its words) or broken JSON (with the parser's words). No full stop at the
// end. None when the body is JSON, of whatever kind.
std::optional<QString> unreadableAnswer(const HttpOutcome &outcome);

// Statuses after which the same request may well be answered: a gateway or
// server fault, a time-out, too many requests.
bool isPassingStatus(int status);

// Text as strict UTF-8; none when it is not.
std::optional<QString> strictUtf8(const QByteArray &bytes);

} // namespace auth::OAuth

namespace auth {

// A token as it may go into an Authorization header: CR and LF removed, so
// a stray line break can never split or add a header.
QString headerSafeToken(const QString &token);

} // namespace auth
