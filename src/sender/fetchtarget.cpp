#include "sender/fetchtarget.h"

#include "sender/curlapi.h"
#include "text/codepage.h"

namespace {

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isNameChar(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' ||
           c == '_';
}

// The host goes into curl's URL and into the Host header, so only a plain name or address
// may pass; anything else (user info, spaces, non-ASCII names) could never resolve as meant.
bool isPlainHost(std::string_view host) {
    if (host.empty())
        return false;
    if (host.front() == '[') {
        if (host.size() < 4 || host.back() != ']')
            return false;
        for (char c : host.substr(1, host.size() - 2))
            if (!isHexDigit(c) && c != ':' && c != '.')
                return false;
        return true;
    }
    for (char c : host)
        if (!isNameChar(c))
            return false;
    return true;
}

uint16_t defaultPort(bool https) {
    return https ? 443 : 80;
}

std::optional<uint16_t> parsePort(std::string_view digits, uint16_t defaultPort) {
    // An empty port after ":" means the default one.
    if (digits.empty())
        return defaultPort;
    unsigned value = 0;
    for (char c : digits) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 65535)
            return std::nullopt;
    }
    if (value == 0)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

// The request goes out as US-ASCII: one "?" per character outside it, however many bytes it
// takes (bytes that are not valid GB18030 count as one character each).
std::string toAscii(std::string_view gbk) {
    const std::string utf8 = gbkToUtf8(gbk);
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

// A space or one of "<>\\^`{|} would break the request line or is no character of a request
// target: each goes out percent-encoded; every other byte as it is.
std::string escapeTargetBytes(std::string_view ascii) {
    static constexpr std::string_view kUnsafe = " \"<>\\^`{|}";
    std::string out;
    out.reserve(ascii.size());
    for (const char c : ascii) {
        if (kUnsafe.find(c) == std::string_view::npos) {
            out.push_back(c);
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += {'%', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
    }
    return out;
}

bool curlReady() {
    return curlApi() != nullptr;
}

// Only after curlReady() said yes.
const CurlApi& curl() {
    return *curlApi();
}

FetchTarget makeTarget(bool https, std::string host, uint16_t port, std::string requestTarget) {
    FetchTarget target;
    target.https = https;
    target.host = std::move(host);
    target.port = port;
    target.requestTarget = std::move(requestTarget);
    target.hostHeader = target.host;
    if (port != defaultPort(https))
        target.hostHeader += ":" + std::to_string(port);
    return target;
}

// libcurl's URL parser, so a relative Location is resolved as RFC 3986 says and not by hand.
class UrlHandle {
public:
    UrlHandle() : handle(curl().url()) {}
    ~UrlHandle() { curl().url_cleanup(handle); }
    UrlHandle(const UrlHandle&) = delete;
    UrlHandle& operator=(const UrlHandle&) = delete;

    // Relative to what was set before; spaces and bytes outside US-ASCII get percent-encoded.
    bool set(const std::string& url) const {
        return curl().url_set(handle, CURLUPART_URL, url.c_str(),
                              CURLU_URLENCODE | CURLU_ALLOW_SPACE) == CURLUE_OK;
    }
    std::optional<std::string> part(CURLUPart which, unsigned flags = 0) const {
        char* value = nullptr;
        if (curl().url_get(handle, which, &value, flags) != CURLUE_OK || !value)
            return std::nullopt;
        std::string copy(value);
        curl().free(value);
        return copy;
    }

    CURLU* const handle;
};

} // namespace

std::optional<FetchTarget> parseFetchUrl(const Text& url, bool allowHttps) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == Text::npos)
        return std::nullopt;
    const std::string_view scheme = std::string_view(url).substr(0, schemeEnd);
    const bool https = equalsNoCase(scheme, "https");
    if (!equalsNoCase(scheme, "http") && !(https && allowHttps))
        return std::nullopt;
    // Control bytes would split the request line or a header; such a URL is refused whole.
    for (char c : url)
        if (isControl(static_cast<unsigned char>(c)))
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
    if (!isPlainHost(host) || (!rest.empty() && rest.front() != ':'))
        return std::nullopt;
    const std::optional<uint16_t> port =
        parsePort(rest.empty() ? rest : rest.substr(1), defaultPort(https));
    if (!port)
        return std::nullopt;

    std::string_view path = std::string_view(url).substr(authorityEnd);
    if (path.find('?') == std::string_view::npos)
        path = path.substr(0, path.find('#'));
    // "?q" and "#f" right after the host still need the path "/" before them.
    std::string requestTarget = path.empty() || path.front() != '/' ? "/" : "";
    requestTarget += escapeTargetBytes(toAscii(path));

    return makeTarget(https, std::string(host), *port, std::move(requestTarget));
}

std::optional<FetchTarget> resolveRedirect(const FetchTarget& from, std::string_view location) {
    for (char c : location)
        if (isControl(static_cast<unsigned char>(c)))
            return std::nullopt;
    if (location.empty() || !curlReady())
        return std::nullopt;
    const UrlHandle url;
    if (!url.handle)
        return std::nullopt;
    // The base is the address just fetched; should its raw request target not parse, the
    // site's root still serves absolute and root-relative locations.
    const std::string origin = std::string(from.https ? "https" : "http") + "://" + from.hostHeader;
    if (!url.set(origin + from.requestTarget) && !url.set(origin + "/"))
        return std::nullopt;
    if (!url.set(std::string(location)))
        return std::nullopt;

    const std::optional<std::string> scheme = url.part(CURLUPART_SCHEME);
    if (!scheme || (*scheme != "http" && *scheme != "https"))
        return std::nullopt;
    if (url.part(CURLUPART_USER) || url.part(CURLUPART_PASSWORD) || url.part(CURLUPART_OPTIONS) ||
        url.part(CURLUPART_ZONEID))
        return std::nullopt;
    const std::optional<std::string> host = url.part(CURLUPART_HOST);
    const std::optional<std::string> portText = url.part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    const std::optional<std::string> path = url.part(CURLUPART_PATH);
    if (!host || !isPlainHost(*host) || !portText || !path)
        return std::nullopt;
    const std::optional<uint16_t> port = parsePort(*portText, 0);
    if (!port || *port == 0)
        return std::nullopt;
    std::string requestTarget = path->empty() ? "/" : *path;
    if (const std::optional<std::string> query = url.part(CURLUPART_QUERY))
        requestTarget += "?" + *query;
    // curl has percent-encoded what needs it; anything else would not fit the request line.
    for (char c : requestTarget)
        if (isControl(static_cast<unsigned char>(c)) || c == ' ' ||
            static_cast<unsigned char>(c) >= 0x80)
            return std::nullopt;
    return makeTarget(*scheme == "https", *host, *port, std::move(requestTarget));
}
