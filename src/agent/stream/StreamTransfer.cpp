#include "agent/stream/StreamTransfer.h"

#include "agent/stream/StreamConnections.h"

#include "platform/ServiceText.h"

#include <QDateTime>
#include <QMutexLocker>
#include <QUrl>

#include "agent/stream/CurlLibrary.h"

#include <algorithm>
#include <cstring>

namespace agent {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes libcurl reads per call: large blocks keep the cost per byte low.
constexpr long kReceiveBufferBytes = 256 * 1024;
// How long a finished turn's reply may take to reach its own end, so its
// connection can carry the next turn.
constexpr std::chrono::milliseconds kDrainTime{5'000};
// How long a new turn waits for the turn before to give its connection back.
constexpr std::chrono::milliseconds kConnectionWait{100};
// The longest wait between two looks at the idle time and the stop flag.
constexpr std::chrono::milliseconds kLongestWait{1'000};
// While the reply comes in a burst of small writes, the worker lets this
// much of it gather before it reads again, instead of waking for every
// write: the fragments reach the window once per frame anyway. A reply
// that trickles (the wait for data is longer than this) is read at once.
constexpr std::chrono::microseconds kGatherTime{1'000};

// How long an error body may take after its status line: what came by then
// is shown, so a body that trickles does not hold the turn.
constexpr std::chrono::milliseconds kErrorBodyTime{3'000};

// The reason of a status, for a status line without one (HTTP/2 has none).
QByteArray standardReason(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 402: return "Payment Required";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 413: return "Content Too Large";
    case 415: return "Unsupported Media Type";
    case 422: return "Unprocessable Content";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return {};
    }
}

// Where a redirect pointed: its host (and port), shown as text.
QString redirectHost(const char *location)
{
    if (!location)
        return {};
    const QUrl url(QString::fromUtf8(location));
    QString host = url.host();
    if (!host.isEmpty() && url.port() > 0)
        host += u':' + QString::number(url.port());
    return platform::ServiceText::forDisplay(host, 200);
}

// A failure to set up TLS, said plainly; the library's words only where
// they tell the person something (which certificate problem).
std::optional<OVUClientError> secureConnectionError(int code, const QString &libraryText)
{
    using Cause = OVUClientError::Cause;
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
        // A plain-HTTP server answers the TLS hello in plain text, which
        // OpenSSL and GnuTLS name so.
        for (const char *sign : {"wrong version number", "packet length too long", "unexpected TLS packet"}) {
            if (libraryText.contains(QLatin1StringView(sign), Qt::CaseInsensitive))
                return OVUClientError::secureConnection(Cause::NoTls);
        }
        return OVUClientError::secureConnection(Cause::None, platform::ServiceText::forDisplay(libraryText, 200));
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return OVUClientError::secureConnection(Cause::Certificate, platform::ServiceText::forDisplay(libraryText, 200));
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_CLIENTCERT:
        return OVUClientError::secureConnection(Cause::None, platform::ServiceText::forDisplay(libraryText, 200));
    default:
        return std::nullopt;
    }
}

} // namespace

StreamTransfer::StreamTransfer(StreamRequest request, std::shared_ptr<StreamConnections> connections, Wake wake)
    : m_request(std::move(request)), m_connections(std::move(connections)), m_wake(std::move(wake))
{
}

StreamTransfer::~StreamTransfer() = default;

void StreamTransfer::stop()
{
    const CurlLibrary &curl = curlLibrary();
    m_stop.store(true);
    QMutexLocker lock(&m_mutex);
    if (m_multi)
        curl.curl_multi_wakeup(m_multi);
    m_stopped.wakeAll();
}

void StreamTransfer::gather()
{
    QMutexLocker lock(&m_mutex);
    if (!m_stop.load())
        m_stopped.wait(&m_mutex, QDeadlineTimer(std::chrono::duration_cast<std::chrono::nanoseconds>(kGatherTime)));
}

StreamTransfer::Taken StreamTransfer::take()
{
    QMutexLocker lock(&m_mutex);
    m_woken = false;
    return {std::exchange(m_fragments, {}), std::exchange(m_result, std::nullopt), m_ended};
}

bool StreamTransfer::hasEnded()
{
    QMutexLocker lock(&m_mutex);
    return m_result.has_value() || m_ended;
}

void StreamTransfer::post(QStringList fragments, std::optional<TurnResult> result, bool ended)
{
    bool wake = false;
    {
        QMutexLocker lock(&m_mutex);
        m_fragments += std::move(fragments);
        if (result)
            m_result = std::move(result);
        m_ended = m_ended || ended;
        wake = !m_woken;
        m_woken = true;
    }
    if (wake)
        m_wake();
}

size_t StreamTransfer::onBody(char *data, size_t size, size_t count, void *self)
{
    return static_cast<StreamTransfer *>(self)->receive(data, size * count);
}

size_t StreamTransfer::onHeader(char *data, size_t size, size_t count, void *self)
{
    return static_cast<StreamTransfer *>(self)->receiveHeader(data, size * count);
}

size_t StreamTransfer::receiveHeader(const char *data, size_t size)
{
    const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
    if (line.startsWith("HTTP/")) {
        // "HTTP/1.1 429 Too Many Requests", "HTTP/2 429"
        const QList<QByteArray> words = line.split(' ');
        m_headStatus = words.value(1).toInt();
        const qsizetype reasonAt = line.indexOf(' ', line.indexOf(' ') + 1);
        m_reason = reasonAt < 0 ? QByteArray() : line.mid(reasonAt + 1).trimmed();
        m_retryAfter = QByteArray();
        m_contentEncoding = QByteArray();
        m_statusLineAt = std::chrono::steady_clock::now();
    } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
        const QByteArray name = line.first(colon).trimmed();
        if (name.compare("retry-after", Qt::CaseInsensitive) == 0)
            m_retryAfter = line.mid(colon + 1);
        else if (name.compare("content-encoding", Qt::CaseInsensitive) == 0)
            m_contentEncoding = line.mid(colon + 1).trimmed();
    }
    return size;
}

size_t StreamTransfer::receive(const char *data, size_t size)
{
    const CurlLibrary &curl = curlLibrary();
    m_bytes += qint64(size);
    if (m_status == 0)
        curl.curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &m_status);
    if (m_status >= 300) {
        // Only the start of an error body is read: what is shown of it is
        // short, and a huge or endless body must not hold the turn.
        const qsizetype room = platform::ServiceText::kBodyLimit - m_errorBody.size();
        m_errorBody.append(data, std::min(qsizetype(size), std::max<qsizetype>(room, 0)));
        if (m_errorBody.size() < platform::ServiceText::kBodyLimit)
            return size;
        return CURL_WRITEFUNC_ERROR;
    }
    if (m_resultPosted)
        return size; // the rest after the end mark is read and dropped
    QStringList fragments;
    std::optional<TurnResult> result;
    // No encoding was asked for, so none is undone: such a body cannot be read.
    if (!m_contentEncoding.isEmpty() && m_contentEncoding.compare("identity", Qt::CaseInsensitive) != 0)
        result = TurnResult::failure(OVUClientError::notAStream(OVUClientError::Cause::Compressed));
    else
        fragments = m_assembler.feed(QByteArrayView(data, qsizetype(size)));
    if (result || m_assembler.failure() || m_assembler.isDone()) {
        // Nothing after the end mark or an error object is read.
        if (!result)
            result = m_assembler.finish();
        m_resultPosted = true;
        // Before the turn hears of it: its next turn waits for the connection.
        if (m_connections && !m_finishing) {
            m_finishing = true;
            m_connections->beginFinishing();
        }
    }
    if (!fragments.isEmpty() || result)
        post(std::move(fragments), std::move(result), false);
    return size;
}

void StreamTransfer::run()
{
    // The turn before may still be reading the end of its reply on the
    // connection this one should reuse.
    // Looked at in short waits, so a stop is not held up.
    for (auto waited = std::chrono::milliseconds(0); m_connections && waited < kConnectionWait && !m_stop.load();
         waited += std::chrono::milliseconds(10)) {
        if (m_connections->waitForFinished(std::chrono::milliseconds(10)))
            break;
    }
    const CurlLibrary &curl = curlLibrary();
    CURLM *multi = curl.loaded ? curl.curl_multi_init() : nullptr;
    m_easy = multi ? curl.curl_easy_init() : nullptr;
    if (!m_easy) {
        if (multi)
            curl.curl_multi_cleanup(multi);
        std::optional<TurnResult> result;
        if (!m_stop.load())
            result = TurnResult::failure(OVUClientError::transport(
                curl.loaded ? QStringLiteral("The connection could not be set up.")
                            : QStringLiteral("The network library (libcurl) could not be loaded.")));
        post({}, std::move(result), true);
        return;
    }
    curl_slist *headers = nullptr;
    for (const QByteArray &header : m_request.headers)
        headers = curl.curl_slist_append(headers, header.constData());
    // A large history must not wait for a "100 Continue" first.
    headers = curl.curl_slist_append(headers, "Expect:");

    curl.curl_easy_setopt(m_easy, CURLOPT_URL, m_request.url.constData());
    curl.curl_easy_setopt(m_easy, CURLOPT_POST, 1L);
    curl.curl_easy_setopt(m_easy, CURLOPT_POSTFIELDS, m_request.body.constData());
    curl.curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_request.body.size()));
    curl.curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, headers);
    curl.curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &StreamTransfer::onBody);
    curl.curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl.curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &StreamTransfer::onHeader);
    curl.curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl.curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorText);
    curl.curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl.curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    // Redirects are not followed: the bearer token goes to this host only.
    curl.curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 0L);
    // Like the rest of the app's requests: straight to the host, whatever
    // proxy variables the environment holds.
    curl.curl_easy_setopt(m_easy, CURLOPT_PROXY, "");
    curl.curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
    if (m_connections && m_connections->handle())
        curl.curl_easy_setopt(m_easy, CURLOPT_SHARE, m_connections->handle());

    {
        QMutexLocker lock(&m_mutex);
        m_multi = multi;
    }
    curl.curl_multi_add_handle(multi, m_easy);

    // The idle time-out compares the time of the last byte at each turn of
    // the loop; the loop itself waits at most kLongestWait.
    const auto idleTimeout = std::max(m_request.idleTimeout, std::chrono::milliseconds(1));
    auto lastByteAt = Clock::now();
    qint64 bytesSeen = 0;
    std::optional<Clock::time_point> drainUntil;
    bool timedOut = false;
    bool errorBodyDue = false;
    bool burst = false; // the last wait for data was shorter than kGatherTime
    int running = 1;
    while (!m_stop.load()) {
        curl.curl_multi_perform(multi, &running);
        if (!running)
            break;
        auto now = Clock::now();
        if (m_bytes != bytesSeen) {
            bytesSeen = m_bytes;
            lastByteAt = now;
            // Not once the turn is whole: the rest of the reply is read at
            // once, so its connection is free for the next turn.
            if (burst && !m_resultPosted) {
                gather();
                now = Clock::now();
            }
        }
        if (m_resultPosted && !drainUntil)
            drainUntil = now + kDrainTime;
        if (drainUntil && now >= *drainUntil)
            break;
        const auto idleLeft = lastByteAt + idleTimeout - now;
        if (idleLeft <= Clock::duration::zero()) {
            timedOut = true;
            break;
        }
        auto wait = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(idleLeft) + std::chrono::milliseconds(1),
                             kLongestWait);
        if (m_headStatus >= 300) {
            const auto bodyLeft = m_statusLineAt + kErrorBodyTime - now;
            if (bodyLeft <= Clock::duration::zero()) {
                errorBodyDue = true;
                break;
            }
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(bodyLeft)
                                      + std::chrono::milliseconds(1));
        }
        curl.curl_multi_poll(multi, nullptr, 0, int(wait.count()), nullptr);
        burst = Clock::now() - now < kGatherTime;
    }

    CURLcode code = CURLE_OK;
    bool finished = false;
    int queued = 0;
    while (CURLMsg *message = curl.curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE) {
            code = message->data.result;
            finished = true;
        }
    }
    if (m_status == 0)
        curl.curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &m_status);
    long osErrno = 0;
    curl.curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osErrno);

    std::optional<TurnResult> result;
    QStringList fragments;
    if (!m_resultPosted && !m_stop.load()) {
        if (errorBodyDue) {
            result = conclude(CURLE_OK, m_status > 0 ? m_status : m_headStatus);
        } else if (timedOut) {
            result = conclude(CURLE_OPERATION_TIMEDOUT, m_status);
        } else if (finished) {
            // A last line without its line break is a line too.
            if (m_status > 0 && m_status < 400)
                fragments = m_assembler.endOfBody();
            result = conclude(code, m_status);
            // The system's own words, as for any other connection refused.
            if (!result->ok() && code == CURLE_COULDNT_CONNECT && osErrno != 0) {
                const QString text = QString::fromLocal8Bit(std::strerror(int(osErrno)));
                result = TurnResult::failure(OVUClientError::transport(text));
            }
        }
    }

    {
        QMutexLocker lock(&m_mutex);
        m_multi = nullptr;
    }
    curl.curl_multi_remove_handle(multi, m_easy);
    curl.curl_easy_cleanup(m_easy);
    m_easy = nullptr;
    if (m_finishing)
        m_connections->endFinishing(); // the connection is back in the cache
    curl.curl_multi_cleanup(multi);
    curl.curl_slist_free_all(headers);
    post(std::move(fragments), std::move(result), true);
}

TurnResult StreamTransfer::conclude(int code, long status)
{
    const CurlLibrary &curl = curlLibrary();
    if (status >= 400) {
        QString words = platform::ServiceText::fromBody(m_errorBody);
        // A body that says nothing: the status's own words.
        if (words.isEmpty()) {
            const QByteArray reason = m_reason.isEmpty() ? standardReason(int(status)) : m_reason;
            words = platform::ServiceText::forDisplay(QString::fromLatin1(reason), 200);
        }
        const qint64 retryAfter =
            platform::ServiceText::retryAfterSeconds(m_retryAfter, QDateTime::currentDateTimeUtc()).value_or(0);
        return TurnResult::failure(OVUClientError::httpStatus(int(status), words, retryAfter));
    }
    if (status >= 300) {
        char *location = nullptr;
        curl.curl_easy_getinfo(m_easy, CURLINFO_REDIRECT_URL, &location);
        return TurnResult::failure(OVUClientError::redirect(int(status), redirectHost(location)));
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        // A turn that said it was complete before the silence stands.
        if (status > 0 && (m_assembler.isComplete() || m_assembler.failure()))
            return m_assembler.finish();
        return TurnResult::failure(OVUClientError::timedOut());
    }
    if (status > 0) {
        // Once the reply has begun, a connection that breaks is the reply
        // ending early, however its body was framed; a turn that said it
        // was complete, or carried an error, is reported as such.
        return m_assembler.finish();
    }
    // The transport's own text.
    const QString text = m_errorText[0] ? QString::fromUtf8(m_errorText)
                                        : QString::fromUtf8(curl.curl_easy_strerror(CURLcode(code)));
    if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT) {
        using Cause = OVUClientError::Cause;
        return TurnResult::failure(OVUClientError::unusableAddress(
            QUrl::fromEncoded(m_request.url), code == CURLE_URL_MALFORMAT ? Cause::Malformed : Cause::UnsupportedScheme));
    }
    if (const std::optional<OVUClientError> tls = secureConnectionError(code, text))
        return TurnResult::failure(*tls);
    if (code == CURLE_OK || code == CURLE_WEIRD_SERVER_REPLY)
        return TurnResult::failure(OVUClientError::invalidResponse());
    return TurnResult::failure(OVUClientError::transport(text));
}

} // namespace agent
