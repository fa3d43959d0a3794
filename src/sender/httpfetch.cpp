#include "httpfetch.h"

#include "codepage.h"

#include <algorithm>
#include <curl/curl.h>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.0)";
// How long one wait for the socket lasts, so the silence clock and the abort flag are checked
// often enough.
constexpr int kPollMs = 50;

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsNameChar(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' ||
           c == '_';
}

// The host goes into curl's URL and into the Host header, so only a plain name or address
// may pass; anything else (user info, spaces, non-ASCII names) could never resolve as meant.
bool IsPlainHost(std::string_view host) {
    if (host.empty())
        return false;
    if (host.front() == '[') {
        if (host.size() < 4 || host.back() != ']')
            return false;
        for (char c : host.substr(1, host.size() - 2))
            if (!IsHexDigit(c) && c != ':' && c != '.')
                return false;
        return true;
    }
    for (char c : host)
        if (!IsNameChar(c))
            return false;
    return true;
}

std::optional<uint16_t> ParsePort(std::string_view digits) {
    // An empty port after ":" means the default one.
    if (digits.empty())
        return 80;
    unsigned value = 0;
    for (char c : digits) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 65535)
            return std::nullopt;
    }
    if (value == 0)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

// The request goes out as US-ASCII: one "?" per character outside it, whether one GBK byte or
// two (bytes that are not valid GBK count as one character each).
std::string ToAscii(std::string_view gbk) {
    const std::string utf8 = GbkToUtf8(gbk);
    std::string ascii;
    ascii.reserve(utf8.size());
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            ascii.push_back(c);
        else if (byte >= 0xC0)
            ascii.push_back('?');
    }
    return ascii;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerByte(a[i]) != LowerByte(b[i]))
            return false;
    return true;
}

// What the callbacks learn while curl reads the response.
struct Exchange {
    bool connected = false;
    Clock::time_point lastData;
    int status = 0;
    bool location = false;
    bool atBlockStart = true;
    bool headersDone = false;
};

// "HTTP/1.1 200 OK": the three-digit code, or nothing.
std::optional<int> ParseStatusLine(std::string_view line) {
    if (line.substr(0, 5) != "HTTP/")
        return std::nullopt;
    const size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4)
        return std::nullopt;
    const std::string_view code = line.substr(space + 1, 3);
    if (!IsDigit(code[0]) || !IsDigit(code[1]) || !IsDigit(code[2]))
        return std::nullopt;
    if (line.size() > space + 4 && line[space + 4] != ' ' && line[space + 4] != '\r' &&
        line[space + 4] != '\n')
        return std::nullopt;
    return (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const size_t length = size * count;
    ex.lastData = Clock::now();
    // Trailers of a chunked body are no headers of the response.
    if (ex.headersDone)
        return length;
    std::string_view line(data, length);
    if (ex.atBlockStart) {
        const std::optional<int> status = ParseStatusLine(line);
        // curl waits for another status after any 1xx, but only 100 is an interim answer here:
        // every other 1xx is final and fails, so stop the transfer at once.
        if (!status || (*status / 100 == 1 && *status != 100))
            return 0;
        ex.status = *status;
        ex.location = false;
        ex.atBlockStart = false;
        return length;
    }
    if (line == "\r\n" || line == "\n") {
        if (ex.status == 100)
            ex.atBlockStart = true;
        else
            ex.headersDone = true;
        return length;
    }
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
        std::string_view name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.remove_suffix(1);
        if (EqualsNoCase(name, "Location"))
            ex.location = true;
    }
    return length;
}

// The body is never used: it is counted as a sign of life and dropped, so memory stays flat.
size_t OnBody(char*, size_t size, size_t count, void* user) {
    static_cast<Exchange*>(user)->lastData = Clock::now();
    return size * count;
}

// Called once the connection stands, just before the request goes out: from here on the
// read time-out watches the server.
int OnConnected(void* user, char*, char*, int, int) {
    auto& ex = *static_cast<Exchange*>(user);
    ex.connected = true;
    ex.lastData = Clock::now();
    return CURL_PREREQFUNC_OK;
}

bool CurlReady() {
    // Once per process, before the first handle; a function-local static is thread-safe.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

bool Aborted(const FetchOptions& options) {
    return options.abort && options.abort->load();
}

class CurlFetch {
public:
    CurlFetch() : m_easy(curl_easy_init()), m_multi(curl_multi_init()) {}
    ~CurlFetch() {
        if (m_added)
            curl_multi_remove_handle(m_multi, m_easy);
        if (m_easy)
            curl_easy_cleanup(m_easy);
        if (m_multi)
            curl_multi_cleanup(m_multi);
        curl_slist_free_all(m_headers);
    }
    CurlFetch(const CurlFetch&) = delete;
    CurlFetch& operator=(const CurlFetch&) = delete;

    FetchResult run(const FetchTarget& target, const FetchOptions& options);

private:
    bool configure(const FetchTarget& target, const FetchOptions& options);
    bool addHeader(const std::string& line) {
        curl_slist* grown = curl_slist_append(m_headers, line.c_str());
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

template <typename T> bool Set(CURL* easy, CURLoption option, T value) {
    return curl_easy_setopt(easy, option, value) == CURLE_OK;
}

bool CurlFetch::configure(const FetchTarget& target, const FetchOptions& options) {
    m_connectUrl = "http://" + target.host + ":" + std::to_string(target.port) + "/";
    // Our own headers replace curl's, so the request holds these four and nothing else.
    if (!addHeader("Host: " + target.hostHeader) || !addHeader("Accept: text/html, */*") ||
        !addHeader("Accept-Encoding: identity") ||
        !addHeader(std::string("User-Agent: ") + kUserAgent))
        return false;
    const long connectMs = std::max<long>(1, static_cast<long>(options.connectTimeout.count()));
    CURL* e = m_easy;
    return Set(e, CURLOPT_URL, m_connectUrl.c_str()) &&
           Set(e, CURLOPT_REQUEST_TARGET, target.requestTarget.c_str()) &&
           Set(e, CURLOPT_HTTPHEADER, m_headers) &&
           Set(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) &&
           Set(e, CURLOPT_HTTPGET, 1L) && Set(e, CURLOPT_PROTOCOLS_STR, "http") &&
           Set(e, CURLOPT_REDIR_PROTOCOLS_STR, "http") && Set(e, CURLOPT_FOLLOWLOCATION, 0L) &&
           Set(e, CURLOPT_PROXY, "") && Set(e, CURLOPT_NOSIGNAL, 1L) &&
           Set(e, CURLOPT_HTTP_CONTENT_DECODING, 0L) && Set(e, CURLOPT_FORBID_REUSE, 1L) &&
           Set(e, CURLOPT_CONNECTTIMEOUT_MS, connectMs) &&
           Set(e, CURLOPT_HEADERFUNCTION, OnHeader) &&
           Set(e, CURLOPT_HEADERDATA, static_cast<void*>(&m_exchange)) &&
           Set(e, CURLOPT_WRITEFUNCTION, OnBody) &&
           Set(e, CURLOPT_WRITEDATA, static_cast<void*>(&m_exchange)) &&
           Set(e, CURLOPT_PREREQFUNCTION, OnConnected) &&
           Set(e, CURLOPT_PREREQDATA, static_cast<void*>(&m_exchange));
}

FetchFailure FailureOf(CURLcode code) {
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

FetchResult Failed(FetchFailure failure, int status = 0) {
    return {false, failure, status};
}

FetchResult CurlFetch::run(const FetchTarget& target, const FetchOptions& options) {
    if (!m_easy || !m_multi || !configure(target, options))
        return Failed(FetchFailure::Other);
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK)
        return Failed(FetchFailure::Other);
    m_added = true;

    // The multi interface with this one handle lets us watch the silence between bytes rather
    // than the whole transfer, and look at the abort flag while waiting.
    const auto readTimeout = std::max(options.readTimeout, std::chrono::milliseconds(1));
    for (;;) {
        int running = 0;
        if (curl_multi_perform(m_multi, &running) != CURLM_OK)
            return Failed(FetchFailure::Other);
        if (running == 0)
            break;
        if (Aborted(options))
            return Failed(FetchFailure::Aborted);
        if (m_exchange.connected && Clock::now() - m_exchange.lastData > readTimeout)
            return Failed(FetchFailure::Timeout);
        if (curl_multi_poll(m_multi, nullptr, 0, kPollMs, nullptr) != CURLM_OK)
            return Failed(FetchFailure::Other);
    }

    int queued = 0;
    CURLcode result = CURLE_FAILED_INIT;
    while (CURLMsg* msg = curl_multi_info_read(m_multi, &queued))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy)
            result = msg->data.result;
    const int status = m_exchange.status;
    if (result != CURLE_OK)
        return Failed(FailureOf(result), status);

    long code = 0;
    if (curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK || code != status)
        return Failed(FetchFailure::Other, status);
    // A 3xx is outside 200-299 anyway; a Location header makes any other status a redirect,
    // except on 201 where it names the resource just created.
    const bool redirect = m_exchange.location && status != 201;
    if (redirect)
        return Failed(FetchFailure::Redirect, status);
    if (status < 200 || status > 299)
        return Failed(FetchFailure::HttpStatus, status);
    return {true, FetchFailure::None, status};
}

} // namespace

std::optional<FetchTarget> ParseFetchUrl(const Text& url) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == Text::npos ||
        !EqualsNoCase(std::string_view(url).substr(0, schemeEnd), "http"))
        return std::nullopt;
    // Control bytes would split the request line or a header; such a URL is refused whole.
    for (char c : url)
        if (IsControl(static_cast<unsigned char>(c)))
            return std::nullopt;

    const size_t authorityStart = schemeEnd + 3;
    const size_t authorityEnd = std::min(url.find_first_of("/?#", authorityStart), url.size());
    const std::string_view authority =
        std::string_view(url).substr(authorityStart, authorityEnd - authorityStart);

    size_t hostEnd = authority.size();
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        hostEnd = close == std::string_view::npos ? authority.size() : close + 1;
    } else {
        hostEnd = std::min(authority.find(':'), authority.size());
    }
    const std::string_view host = authority.substr(0, hostEnd);
    const std::string_view rest = authority.substr(hostEnd);
    if (!IsPlainHost(host) || (!rest.empty() && rest.front() != ':'))
        return std::nullopt;
    const std::optional<uint16_t> port = ParsePort(rest.empty() ? rest : rest.substr(1));
    if (!port)
        return std::nullopt;

    std::string_view path = std::string_view(url).substr(authorityEnd);
    if (path.find('?') == std::string_view::npos)
        path = path.substr(0, path.find('#'));
    // "?q" and "#f" right after the host still need the path "/" before them.
    std::string requestTarget = path.empty() || path.front() != '/' ? "/" : "";
    requestTarget += ToAscii(path);

    FetchTarget target;
    target.host = std::string(host);
    target.port = *port;
    target.requestTarget = std::move(requestTarget);
    target.hostHeader = target.host;
    if (target.port != 80)
        target.hostHeader += ":" + std::to_string(target.port);
    return target;
}

QString FetchFailureText(FetchFailure failure, int status) {
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

FetchResult FetchOnce(const Text& url, const FetchOptions& options) {
    try {
        const std::optional<FetchTarget> target = ParseFetchUrl(url);
        if (!target)
            return Failed(FetchFailure::BadUrl);
        if (Aborted(options))
            return Failed(FetchFailure::Aborted);
        if (!CurlReady())
            return Failed(FetchFailure::Other);
        CurlFetch fetch;
        return fetch.run(*target, options);
    } catch (...) {
        // Out of memory or a failed code-page conversion: the fetch just fails.
        return Failed(FetchFailure::Other);
    }
}
