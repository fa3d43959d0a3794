#pragma once

#include "sender/fetchtarget.h"
#include "text/text.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How a send worker's HTTP client behaves; the time-outs are settable so tests need not wait.
struct FetchOptions {
    std::chrono::milliseconds connectTimeout{20000};
    // The longest silence of the server at any point of the exchange.
    std::chrono::milliseconds readTimeout{20000};
    // The longest a whole fetch may take, redirects included: a server that drips one byte at a
    // time is never silent for long, yet must not hold a worker for ever.
    std::chrono::milliseconds totalTimeout{60000};
    // Set from another thread to give up at once (the window is closing).
    const std::atomic<bool>* abort = nullptr;
    // https templates are fetched; off, they fail before any connection is made.
    bool allowHttps = false;
    // Up to kMaxRedirects redirects are followed, to https as well even when allowHttps is
    // off; off, a redirect fails the fetch.
    bool followRedirects = false;
    // The certificate authorities an https server is checked against; empty means the system's
    // store. Verification itself is never turned off.
    std::string caFile;
};

constexpr int kMaxRedirects = 5;

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
QString fetchFailureText(FetchFailure failure, int status);

// Fetches url once with an HTTP/1.1 GET; a success is a 2xx final status that is no redirect.
// A 301, 302, 303, 307 or 308 with a Location is followed when options.followRedirects, with
// the same request to the new address, at most kMaxRedirects times. Never throws. Scheme-less
// URLs, and https ones unless options.allowHttps, fail before any connection is made.
FetchResult fetchOnce(const Text& url, const FetchOptions& options);
inline bool fetchUrl(const Text& url, const FetchOptions& options) {
    return fetchOnce(url, options).ok;
}
