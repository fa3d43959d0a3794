#pragma once

#include "text.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// How a send worker's HTTP client behaves; the time-outs are settable so tests need not wait.
struct FetchOptions {
    std::chrono::milliseconds connectTimeout{20000};
    // The longest silence of the server at any point of the exchange.
    std::chrono::milliseconds readTimeout{20000};
    // Set from another thread to give up at once (the window is closing).
    const std::atomic<bool>* abort = nullptr;
};

// What one fetch puts on the wire for a URL.
struct FetchTarget {
    std::string host; // as the URL names it; brackets kept around an IPv6 address
    uint16_t port = 80;
    std::string requestTarget; // US-ASCII, exactly as it goes into the request line
    std::string hostHeader;    // the host, plus ":port" when the port is not 80
};

// Splits an http URL by hand, nothing percent-encoded: each character outside US-ASCII in the
// request target becomes "?", and "#..." is dropped only when the URL holds no "?". Gives nothing
// for another scheme, a missing scheme, a bad port, a host that is no plain name or address, or
// control bytes that would break the request.
std::optional<FetchTarget> ParseFetchUrl(const Text& url);

// Why a fetch did not count as a success.
enum class FetchFailure {
    None,
    BadUrl,
    Dns,
    Refused,
    Timeout,
    Tls,
    HttpStatus,
    Redirect,
    Aborted,
    Other
};

struct FetchResult {
    bool ok = false;
    FetchFailure failure = FetchFailure::Other;
    int status = 0; // the final HTTP status, when one came
};

// The reason as the send report names it: "超时", "连接被拒绝", "HTTP 404", ...
QString FetchFailureText(FetchFailure failure, int status);

// Fetches url once with a plain HTTP/1.1 GET; a success is a 2xx final status that is no
// redirect. Never throws. https and scheme-less URLs fail before any connection is made.
FetchResult FetchOnce(const Text& url, const FetchOptions& options);
inline bool FetchUrl(const Text& url, const FetchOptions& options) {
    return FetchOnce(url, options).ok;
}
