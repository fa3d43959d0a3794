#include "sender/httpfetch.h"

#include "sender/curlapi.h"
#include "text/codepage.h"

#include <algorithm>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.0)";
// How long one wait for the socket lasts, so the silence clock and the abort flag are checked
// often enough.
constexpr int kPollMs = 50;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isFollowedStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string_view trimBlanks(std::string_view value) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t first = value.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return value.substr(first, value.find_last_not_of(kBlanks) - first + 1);
}

// What the callbacks learn while curl reads the response.
struct Exchange {
    // Redirects are followed: the transfer stops at the end of a redirect's head, since its
    // body means nothing to us.
    bool follow = false;
    bool connected = false;
    Clock::time_point lastData;
    int status = 0;
    bool location = false;
    std::string locationValue; // of the first Location header of the current head
    std::optional<std::string> redirectTo;
    bool atBlockStart = true;
    bool headersDone = false;
};

// "HTTP/1.1 200 OK": the three-digit code, or nothing.
std::optional<int> parseStatusLine(std::string_view line) {
    if (line.substr(0, 5) != "HTTP/")
        return std::nullopt;
    const size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4)
        return std::nullopt;
    const std::string_view code = line.substr(space + 1, 3);
    if (!isDigit(code[0]) || !isDigit(code[1]) || !isDigit(code[2]))
        return std::nullopt;
    if (line.size() > space + 4 && line[space + 4] != ' ' && line[space + 4] != '\r' &&
        line[space + 4] != '\n')
        return std::nullopt;
    return (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const size_t length = size * count;
    ex.lastData = Clock::now();
    // Trailers of a chunked body are no headers of the response.
    if (ex.headersDone)
        return length;
    std::string_view line(data, length);
    if (ex.atBlockStart) {
        const std::optional<int> status = parseStatusLine(line);
        // curl waits for another status after any 1xx, but only 100 is an interim answer here:
        // every other 1xx is final and fails, so stop the transfer at once.
        if (!status || (*status / 100 == 1 && *status != 100))
            return 0;
        ex.status = *status;
        ex.location = false;
        ex.locationValue.clear();
        ex.atBlockStart = false;
        return length;
    }
    if (line == "\r\n" || line == "\n") {
        if (ex.status == 100) {
            ex.atBlockStart = true;
        } else {
            ex.headersDone = true;
            if (ex.follow && isFollowedStatus(ex.status) && !ex.locationValue.empty()) {
                ex.redirectTo = ex.locationValue;
                return 0;
            }
        }
        return length;
    }
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
        std::string_view name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.remove_suffix(1);
        if (equalsNoCase(name, "Location") && !ex.location) {
            ex.location = true;
            ex.locationValue = std::string(trimBlanks(line.substr(colon + 1)));
        }
    }
    return length;
}

// The body is never used: it is counted as a sign of life and dropped, so memory stays flat.
size_t onBody(char*, size_t size, size_t count, void* user) {
    static_cast<Exchange*>(user)->lastData = Clock::now();
    return size * count;
}

// Called once the connection stands, just before the request goes out: from here on the
// read time-out watches the server.
int onConnected(void* user, char*, char*, int, int) {
    auto& ex = *static_cast<Exchange*>(user);
    ex.connected = true;
    ex.lastData = Clock::now();
    return CURL_PREREQFUNC_OK;
}

bool curlReady() {
    return curlApi() != nullptr;
}

// Only after curlReady() said yes.
const CurlApi& curl() {
    return *curlApi();
}

bool aborted(const FetchOptions& options) {
    return options.abort && options.abort->load();
}

// One multi handle per thread, made on its first fetch and kept until the thread ends: making
// one costs a socket pair and its wake-up machinery, which a worker would otherwise pay per
// job. It carries nothing from one job to the next: connections are never reused and names
// are not cached.
CURLM* threadMulti() {
    struct Multi {
        CURLM* handle = curl().multi_init();
        ~Multi() {
            if (handle)
                curl().multi_cleanup(handle);
        }
    };
    static thread_local Multi multi;
    return multi.handle;
}

class CurlFetch {
public:
    CurlFetch() : m_easy(curl().easy_init()), m_multi(threadMulti()) {}
    ~CurlFetch() {
        if (m_added)
            curl().multi_remove_handle(m_multi, m_easy);
        if (m_easy)
            curl().easy_cleanup(m_easy);
        curl().slist_free_all(m_headers);
    }
    CurlFetch(const CurlFetch&) = delete;
    CurlFetch& operator=(const CurlFetch&) = delete;

    FetchResult run(const FetchTarget& target, const FetchOptions& options,
                    Clock::time_point deadline);
    // The Location to go on to, when the answer was a redirect to follow.
    const std::optional<std::string>& redirectTo() const { return m_exchange.redirectTo; }

private:
    bool configure(const FetchTarget& target, const FetchOptions& options);
    bool addHeader(const std::string& line) {
        curl_slist* grown = curl().slist_append(m_headers, line.c_str());
        if (!grown)
            return false;
        m_headers = grown;
        return true;
    }

    CURL* m_easy;
    CURLM* m_multi;
    curl_slist* m_headers = nullptr;
    bool m_added = false;
    Exchange m_exchange;
    std::string m_connectUrl;
};

template <typename T> bool set(CURL* easy, CURLoption option, T value) {
    return curl().easy_setopt(easy, option, value) == CURLE_OK;
}

// Certificates are always checked: against the given authorities, else the system's store.
bool configureTls(CURL* e, const FetchOptions& options) {
    if (!set(e, CURLOPT_SSL_VERIFYPEER, 1L) || !set(e, CURLOPT_SSL_VERIFYHOST, 2L))
        return false;
    if (options.caFile.empty())
        return true;
    return set(e, CURLOPT_CAINFO, options.caFile.c_str()) &&
           set(e, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
}

bool CurlFetch::configure(const FetchTarget& target, const FetchOptions& options) {
    const char* scheme = target.https ? "https" : "http";
    m_exchange.follow = options.followRedirects;
    m_connectUrl =
        std::string(scheme) + "://" + target.host + ":" + std::to_string(target.port) + "/";
    // Our own headers replace curl's, so the request holds these four and nothing else.
    if (!addHeader("Host: " + target.hostHeader) || !addHeader("Accept: text/html, */*") ||
        !addHeader("Accept-Encoding: identity") ||
        !addHeader(std::string("User-Agent: ") + kUserAgent))
        return false;
    const long connectMs = std::max<long>(1, static_cast<long>(options.connectTimeout.count()));
    CURL* e = m_easy;
    if (target.https && !configureTls(e, options))
        return false;
    return set(e, CURLOPT_URL, m_connectUrl.c_str()) &&
           set(e, CURLOPT_REQUEST_TARGET, target.requestTarget.c_str()) &&
           set(e, CURLOPT_HTTPHEADER, m_headers) &&
           set(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) &&
           set(e, CURLOPT_HTTPGET, 1L) && set(e, CURLOPT_PROTOCOLS_STR, scheme) &&
           set(e, CURLOPT_REDIR_PROTOCOLS_STR, scheme) && set(e, CURLOPT_FOLLOWLOCATION, 0L) &&
           set(e, CURLOPT_PROXY, "") && set(e, CURLOPT_NOSIGNAL, 1L) &&
           set(e, CURLOPT_HTTP_CONTENT_DECODING, 0L) && set(e, CURLOPT_FORBID_REUSE, 1L) &&
           set(e, CURLOPT_DNS_CACHE_TIMEOUT, 0L) && set(e, CURLOPT_CONNECTTIMEOUT_MS, connectMs) &&
           set(e, CURLOPT_HEADERFUNCTION, onHeader) &&
           set(e, CURLOPT_HEADERDATA, static_cast<void*>(&m_exchange)) &&
           set(e, CURLOPT_WRITEFUNCTION, onBody) &&
           set(e, CURLOPT_WRITEDATA, static_cast<void*>(&m_exchange)) &&
           set(e, CURLOPT_PREREQFUNCTION, onConnected) &&
           set(e, CURLOPT_PREREQDATA, static_cast<void*>(&m_exchange));
}

FetchFailure failureOf(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return FetchFailure::Dns;
    case CURLE_COULDNT_CONNECT:
        return FetchFailure::Refused;
    case CURLE_OPERATION_TIMEDOUT:
        return FetchFailure::Timeout;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return FetchFailure::Tls;
    default:
        return FetchFailure::Other;
    }
}

FetchResult failed(FetchFailure failure, int status = 0) {
    return {false, failure, status};
}

FetchResult CurlFetch::run(const FetchTarget& target, const FetchOptions& options,
                           Clock::time_point deadline) {
    if (!m_easy || !m_multi || !configure(target, options))
        return failed(FetchFailure::Other);
    if (curl().multi_add_handle(m_multi, m_easy) != CURLM_OK)
        return failed(FetchFailure::Other);
    m_added = true;

    // The multi interface with this one handle lets us watch the silence between bytes rather
    // than the whole transfer, and look at the abort flag while waiting.
    const auto readTimeout = std::max(options.readTimeout, std::chrono::milliseconds(1));
    for (;;) {
        int running = 0;
        if (curl().multi_perform(m_multi, &running) != CURLM_OK)
            return failed(FetchFailure::Other);
        if (running == 0)
            break;
        if (aborted(options))
            return failed(FetchFailure::Aborted);
        const Clock::time_point now = Clock::now();
        if ((m_exchange.connected && now - m_exchange.lastData > readTimeout) || now > deadline)
            return failed(FetchFailure::Timeout);
        if (curl().multi_poll(m_multi, nullptr, 0, kPollMs, nullptr) != CURLM_OK)
            return failed(FetchFailure::Other);
    }

    int queued = 0;
    CURLcode result = CURLE_FAILED_INIT;
    while (CURLMsg* msg = curl().multi_info_read(m_multi, &queued))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy)
            result = msg->data.result;
    const int status = m_exchange.status;
    // Stopped on purpose at the head of a redirect; the caller goes on to its Location.
    if (m_exchange.redirectTo)
        return failed(FetchFailure::Redirect, status);
    if (result != CURLE_OK)
        return failed(failureOf(result), status);

    long code = 0;
    if (curl().easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK || code != status)
        return failed(FetchFailure::Other, status);
    // A 3xx is outside 200-299 anyway; a Location header makes any other status a redirect,
    // except on 201 where it names the resource just created.
    const bool redirect = m_exchange.location && status != 201;
    if (redirect)
        return failed(FetchFailure::Redirect, status);
    if (status < 200 || status > 299)
        return failed(FetchFailure::HttpStatus, status);
    return {true, FetchFailure::None, status};
}

} // namespace

QString fetchFailureText(FetchFailure failure, int status) {
    switch (failure) {
    case FetchFailure::None:
        return {};
    case FetchFailure::BadUrl:
        return QStringLiteral("网址无效");
    case FetchFailure::Dns:
        return QStringLiteral("域名解析失败");
    case FetchFailure::Refused:
        return QStringLiteral("连接被拒绝");
    case FetchFailure::Timeout:
        return QStringLiteral("超时");
    case FetchFailure::Tls:
        return QStringLiteral("TLS 失败");
    case FetchFailure::HttpStatus:
        return QStringLiteral("HTTP %1").arg(status);
    case FetchFailure::Redirect:
        return QStringLiteral("重定向 %1").arg(status);
    case FetchFailure::Aborted:
        return QStringLiteral("已中止");
    case FetchFailure::Other:
        break;
    }
    return QStringLiteral("其他");
}

FetchResult fetchOnce(const Text& url, const FetchOptions& options) {
    try {
        std::optional<FetchTarget> target = parseFetchUrl(url, options.allowHttps);
        if (!target)
            return failed(FetchFailure::BadUrl);
        if (aborted(options))
            return failed(FetchFailure::Aborted);
        if (!curlReady())
            return failed(FetchFailure::Other);
        const Clock::time_point deadline =
            Clock::now() + std::max(options.totalTimeout, std::chrono::milliseconds(1));
        for (int redirects = 0;; ++redirects) {
            // A fresh handle per address: each hop sends our own request, nothing curl adds.
            CurlFetch fetch;
            const FetchResult result = fetch.run(*target, options, deadline);
            if (!fetch.redirectTo())
                return result;
            if (redirects == kMaxRedirects)
                return result;
            target = resolveRedirect(*target, *fetch.redirectTo());
            if (!target)
                return result;
            if (aborted(options))
                return failed(FetchFailure::Aborted);
        }
    } catch (...) {
        // Out of memory or a failed code-page conversion: the fetch just fails.
        return failed(FetchFailure::Other);
    }
}
