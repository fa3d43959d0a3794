#pragma once

#include "text/text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What one fetch puts on the wire for a URL.
struct FetchTarget {
    bool https = false;
    std::string host; // as the URL names it; brackets kept around an IPv6 address
    uint16_t port = 80;
    std::string requestTarget; // US-ASCII, exactly as it goes into the request line
    std::string hostHeader;    // the host, plus ":port" when the port is not the scheme's own
};

// Splits an http URL (and an https one when allowHttps) by hand, nothing percent-encoded: each
// character outside US-ASCII in the request target becomes "?", and "#..." is dropped only when
// the URL holds no "?". Gives nothing for another scheme, a missing scheme, a bad port, a host
// that is no plain name or address, or control bytes that would break the request.
std::optional<FetchTarget> parseFetchUrl(const Text& url, bool allowHttps = false);

// Where a redirect from `from` to `location` (absolute or relative, resolved as a browser
// would, by libcurl's URL parser) leads. Gives nothing for an empty or malformed location,
// another scheme than http or https, user info, or a host that is no plain name or address.
std::optional<FetchTarget> resolveRedirect(const FetchTarget& from, std::string_view location);
