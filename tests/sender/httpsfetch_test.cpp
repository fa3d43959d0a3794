#include "sender/httpfetch.h"
#include "testserver.h"
#include "tlsserver.h"

#include <QDir>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous bound that only catches a fetch that hangs.
constexpr auto kHangLimit = 10s;

std::string expectedRequest(const std::string& target, const std::string& host) {
    return "GET " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.0)\r\n\r\n";
}

std::string hostOf(const TestServer& server) {
    return "127.0.0.1:" + std::to_string(server.port());
}

// A bare connection of our own: once the server has counted it, it has counted every earlier one.
bool probe(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

TestResponse answer(const std::string& head) {
    return TestResponse::raw(head + "\r\nContent-Length: 2\r\n\r\nok");
}

// Certificates made once for all tests here: "trusted" is the authority the fetches trust,
// "stranger" one they do not, "misnamed" a trusted authority whose server certificate names
// another host.
class HttpsFetchTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(s_dir->isValid());
        for (const char* name : {"trusted", "stranger", "misnamed"})
            ASSERT_TRUE(QDir(s_dir->path()).mkdir(name));
        const std::string root = s_dir->path().toStdString();
        s_trusted = makeTestCertificates(root + "/trusted");
        s_stranger = makeTestCertificates(root + "/stranger");
        s_misnamed = makeTestCertificates(root + "/misnamed", "DNS:elsewhere.test");
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static FetchOptions quick() {
        FetchOptions options;
        options.connectTimeout = 5s;
        options.readTimeout = 5s;
        options.caFile = s_trusted.caFile;
        return options;
    }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline TestCertificates s_trusted;
    static inline TestCertificates s_stranger;
    static inline TestCertificates s_misnamed;
};

struct ParseCase {
    std::string url;
    bool allowHttps;
    bool ok;
    bool https;
    uint16_t port;
    std::string target;
    std::string hostHeader;
};

TEST_F(HttpsFetchTest, ParsesHttpsOnlyWhenAllowed) {
    const std::vector<ParseCase> cases = {
        {"https://example.com/p", true, true, true, 443, "/p", "example.com"},
        {"HTTPS://example.com:443", true, true, true, 443, "/", "example.com"},
        {"https://example.com:/p?q#f", true, true, true, 443, "/p?q#f", "example.com"},
        {"https://h:8443/x", true, true, true, 8443, "/x", "h:8443"},
        {"https://h:80/x", true, true, true, 80, "/x", "h:80"},
        {"https://[::1]/x", true, true, true, 443, "/x", "[::1]"},
        {"http://example.com:443/", true, true, false, 443, "/", "example.com:443"},
        {"http://example.com/", true, true, false, 80, "/", "example.com"},
        {"https://example.com/", false, false, false, 0, "", ""},
        {"https://user@example.com/", true, false, false, 0, "", ""},
        {"https://h:0/", true, false, false, 0, "", ""},
        {"httpss://h/", true, false, false, 0, "", ""},
        {"ftp://h/", true, false, false, 0, "", ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.url);
        const std::optional<FetchTarget> target = parseFetchUrl(c.url, c.allowHttps);
        ASSERT_EQ(target.has_value(), c.ok);
        if (!target)
            continue;
        EXPECT_EQ(target->https, c.https);
        EXPECT_EQ(target->port, c.port);
        EXPECT_EQ(target->requestTarget, c.target);
        EXPECT_EQ(target->hostHeader, c.hostHeader);
    }
}

struct ResolveCase {
    std::string from; // an http or https URL
    std::string location;
    bool ok;
    bool https;
    std::string host;
    uint16_t port;
    std::string target;
    std::string hostHeader;
};

TEST_F(HttpsFetchTest, ResolvesLocationsAsABrowserDoes) {
    const std::string base = "http://127.0.0.1:8080/a/b?x=1";
    const std::vector<ResolveCase> cases = {
        {base, "c", true, false, "127.0.0.1", 8080, "/a/c", "127.0.0.1:8080"},
        {base, "/d e?y=2#frag", true, false, "127.0.0.1", 8080, "/d%20e?y=2", "127.0.0.1:8080"},
        {base, "?z", true, false, "127.0.0.1", 8080, "/a/b?z", "127.0.0.1:8080"},
        {base, "../../../x", true, false, "127.0.0.1", 8080, "/x", "127.0.0.1:8080"},
        {base, "\xE4\xB8\xAD", true, false, "127.0.0.1", 8080, "/a/%e4%b8%ad", "127.0.0.1:8080"},
        {base, "//other.example/p", true, false, "other.example", 80, "/p", "other.example"},
        {base, "https://Example.COM:443/s", true, true, "Example.COM", 443, "/s", "Example.COM"},
        {base, "HTTPS://h:8443", true, true, "h", 8443, "/", "h:8443"},
        {base, "http://[::1]:81/v6", true, false, "[::1]", 81, "/v6", "[::1]:81"},
        {"https://127.0.0.1:8443/dir/", "x", true, true, "127.0.0.1", 8443, "/dir/x",
         "127.0.0.1:8443"},
        {"https://h/", "//h2/q", true, true, "h2", 443, "/q", "h2"},
        {"https://h/", "http://h/", true, false, "h", 80, "/", "h"},
        // The template's own request target need not be a clean URL.
        {"http://h/q?w=a b", "r", true, false, "h", 80, "/r", "h"},
        {base, "", false, false, "", 0, "", ""},
        {base, "ftp://h/", false, false, "", 0, "", ""},
        {base, "mailto:x@example.com", false, false, "", 0, "", ""},
        {base, "http://user:pw@h/", false, false, "", 0, "", ""},
        {base, "http://h:99999/", false, false, "", 0, "", ""},
        {base, "http://h:0/", false, false, "", 0, "", ""},
        {base, "/a\r\nX-Injected: 1", false, false, "", 0, "", ""},
        {base, "http://ho st/", false, false, "", 0, "", ""},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.from + " + " + c.location);
        const std::optional<FetchTarget> from = parseFetchUrl(c.from, true);
        ASSERT_TRUE(from);
        const std::optional<FetchTarget> to = resolveRedirect(*from, c.location);
        ASSERT_EQ(to.has_value(), c.ok);
        if (!to)
            continue;
        EXPECT_EQ(to->https, c.https);
        EXPECT_EQ(to->host, c.host);
        EXPECT_EQ(to->port, c.port);
        EXPECT_EQ(to->requestTarget, c.target);
        EXPECT_EQ(to->hostHeader, c.hostHeader);
    }
}

struct TlsCase {
    std::string name;
    const TestCertificates* served;
    bool allowHttps;
    const TestCertificates* trusted; // null: the system's store
    FetchFailure failure;
};

TEST_F(HttpsFetchTest, FetchesHttpsOnlyWhenAllowedAndTrusted) {
    const std::vector<TlsCase> cases = {
        {"trusted", &s_trusted, true, &s_trusted, FetchFailure::None},
        {"not allowed", &s_trusted, false, &s_trusted, FetchFailure::BadUrl},
        {"unknown authority", &s_stranger, true, &s_trusted, FetchFailure::Tls},
        {"certificate for another name", &s_misnamed, true, &s_misnamed, FetchFailure::Tls},
        {"system store does not know the test authority", &s_trusted, true, nullptr,
         FetchFailure::Tls},
    };
    for (const TlsCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server(*c.served);
        server.setDefaultResponse(answer("HTTP/1.1 200 OK"));
        FetchOptions options = quick();
        options.allowHttps = c.allowHttps;
        options.caFile = c.trusted ? c.trusted->caFile : std::string();
        const auto start = Clock::now();
        const FetchResult result = fetchOnce(server.url("/x?y=1"), options);
        EXPECT_LT(Clock::now() - start, kHangLimit);
        EXPECT_EQ(result.ok, c.failure == FetchFailure::None);
        EXPECT_EQ(result.failure, c.failure);

        // Our probe is the last connection: the fetch made one only when it was allowed.
        ASSERT_TRUE(probe(server.port()));
        const int fetches = c.failure == FetchFailure::BadUrl ? 0 : 1;
        ASSERT_TRUE(server.waitForConnections(fetches + 1, kHangLimit));
        EXPECT_EQ(server.connectionCount(), fetches + 1);
        const std::vector<std::string> requests = server.requests();
        if (c.failure == FetchFailure::None) {
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0], expectedRequest("/x?y=1", hostOf(server)));
            EXPECT_EQ(result.status, 200);
        } else {
            EXPECT_TRUE(requests.empty());
        }
    }
}

TEST_F(HttpsFetchTest, StalledHandshakeEndsAtTheConnectTimeout) {
    // A plain server waits for a request that a TLS client never sends before its handshake.
    TestServer server;
    FetchOptions options = quick();
    options.allowHttps = true;
    options.connectTimeout = 300ms;
    options.readTimeout = 60s;
    const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/";
    const auto start = Clock::now();
    const FetchResult result = fetchOnce(url, options);
    EXPECT_LT(Clock::now() - start, kHangLimit);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, FetchFailure::Timeout);
}

// Three servers a redirect can lead between; "{A}", "{B}" (plain) and "{T}" (TLS) in a case
// stand for their addresses.
struct Hop {
    char server;      // 'A', 'B' or 'T'
    std::string path; // as requested
    std::string head; // the answer's status line and headers; empty: "200 OK"
};

struct RedirectCase {
    std::string name;
    bool follow;
    std::vector<Hop> hops; // in the order they happen, starting at A; the last may repeat
    FetchFailure failure;
    int status;
    int repeatLast = 1; // how many times the last hop happens (a loop)
};

TEST_F(HttpsFetchTest, FollowsRedirectsWhenAsked) {
    const std::vector<RedirectCase> cases = {
        {"http to https",
         true,
         {{'A', "/start", "HTTP/1.1 302 Found\r\nLocation: {T}/landing"}, {'T', "/landing", ""}},
         FetchFailure::None,
         200},
        {"http to https not followed",
         false,
         {{'A', "/start", "HTTP/1.1 302 Found\r\nLocation: {T}/landing"}},
         FetchFailure::Redirect,
         302},
        {"relative",
         true,
         {{'A', "/dir/start", "HTTP/1.1 301 Moved\r\nLocation: next?q=1"},
          {'A', "/dir/next?q=1", ""}},
         FetchFailure::None,
         200},
        {"303",
         true,
         {{'A', "/start", "HTTP/1.1 303 See Other\r\nLocation: /other"}, {'A', "/other", ""}},
         FetchFailure::None,
         200},
        {"307 to another host",
         true,
         {{'A', "/start", "HTTP/1.1 307 Temporary\r\nLocation: {B}/b"}, {'B', "/b", ""}},
         FetchFailure::None,
         200},
        {"308 within https",
         true,
         {{'A', "/start", "HTTP/1.1 308 Permanent\r\nlocation:  {T}/one  "},
          {'T', "/one", "HTTP/1.1 308 Permanent\r\nLocation: two"},
          {'T', "/two", ""}},
         FetchFailure::None,
         200},
        {"back from https to http",
         true,
         {{'A', "/start", "HTTP/1.1 302 Found\r\nLocation: {T}/t"},
          {'T', "/t", "HTTP/1.1 302 Found\r\nLocation: {B}/end"},
          {'B', "/end", ""}},
         FetchFailure::None,
         200},
        {"final answer decides",
         true,
         {{'A', "/start", "HTTP/1.1 302 Found\r\nLocation: /gone"},
          {'A', "/gone", "HTTP/1.1 404 Not Found"}},
         FetchFailure::HttpStatus,
         404},
        {"3xx without Location",
         true,
         {{'A', "/start", "HTTP/1.1 302 Found"}},
         FetchFailure::HttpStatus,
         302},
        {"empty Location",
         true,
         {{'A', "/start", "HTTP/1.1 302 Found\r\nLocation: "}},
         FetchFailure::Redirect,
         302},
        {"300 is not followed",
         true,
         {{'A', "/start", "HTTP/1.1 300 Multiple\r\nLocation: /x"}},
         FetchFailure::Redirect,
         300},
        {"200 with Location",
         true,
         {{'A', "/start", "HTTP/1.1 200 OK\r\nLocation: /x"}},
         FetchFailure::Redirect,
         200},
        {"201 with Location",
         true,
         {{'A', "/start", "HTTP/1.1 201 Created\r\nLocation: /x"}},
         FetchFailure::None,
         201},
        {"to another scheme",
         true,
         {{'A', "/start", "HTTP/1.1 301 Moved\r\nLocation: ftp://127.0.0.1/x"}},
         FetchFailure::Redirect,
         301},
        {"to user info",
         true,
         {{'A', "/start", "HTTP/1.1 301 Moved\r\nLocation: http://u:p@127.0.0.1/x"}},
         FetchFailure::Redirect,
         301},
        {"five redirects",
         true,
         {{'A', "/1", "HTTP/1.1 302 Found\r\nLocation: {B}/2"},
          {'B', "/2", "HTTP/1.1 302 Found\r\nLocation: {T}/3"},
          {'T', "/3", "HTTP/1.1 302 Found\r\nLocation: {A}/4"},
          {'A', "/4", "HTTP/1.1 302 Found\r\nLocation: 5"},
          {'A', "/5", "HTTP/1.1 302 Found\r\nLocation: /6"},
          {'A', "/6", ""}},
         FetchFailure::None,
         200},
        {"six redirects",
         true,
         {{'A', "/1", "HTTP/1.1 302 Found\r\nLocation: /2"},
          {'A', "/2", "HTTP/1.1 301 Moved\r\nLocation: /3"},
          {'A', "/3", "HTTP/1.1 302 Found\r\nLocation: /4"},
          {'A', "/4", "HTTP/1.1 307 Temporary\r\nLocation: /5"},
          {'A', "/5", "HTTP/1.1 308 Permanent\r\nLocation: /6"},
          {'A', "/6", "HTTP/1.1 303 See Other\r\nLocation: /7"}},
         FetchFailure::Redirect,
         303},
        {"loop",
         true,
         {{'A', "/self", "HTTP/1.1 302 Found\r\nLocation: /self"}},
         FetchFailure::Redirect,
         302,
         kMaxRedirects + 1},
    };
    for (const RedirectCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer a;
        TestServer b;
        TestServer t(s_trusted);
        std::map<char, TestServer*> servers = {{'A', &a}, {'B', &b}, {'T', &t}};
        const auto fill = [&](std::string text) {
            for (const auto& [name, server] : servers) {
                const std::string token = std::string("{") + name + "}";
                for (size_t at; (at = text.find(token)) != std::string::npos;)
                    text.replace(at, token.size(), server->url(""));
            }
            return text;
        };
        // Each server answers by path, so a hop that goes astray gets a 404.
        for (const auto& [name, server] : servers) {
            std::map<std::string, TestResponse> answers;
            for (const Hop& hop : c.hops)
                if (hop.server == name)
                    answers[hop.path] =
                        answer(hop.head.empty() ? "HTTP/1.1 200 OK" : fill(hop.head));
            server->setHandler([answers](const std::string& request) {
                const size_t start = request.find(' ') + 1;
                const auto found =
                    answers.find(request.substr(start, request.find(' ', start) - start));
                return found != answers.end() ? found->second : answer("HTTP/1.1 404 Not Found");
            });
        }
        FetchOptions options = quick();
        options.followRedirects = c.follow;

        const auto start = Clock::now();
        const FetchResult result = fetchOnce(a.url(c.hops.front().path), options);
        EXPECT_LT(Clock::now() - start, kHangLimit);
        EXPECT_EQ(result.ok, c.failure == FetchFailure::None);
        EXPECT_EQ(result.failure, c.failure);
        EXPECT_EQ(result.status, c.status);

        // Every hop sent the same four headers, with the Host of its own address.
        std::map<char, std::vector<std::string>> expected;
        for (size_t i = 0; i < c.hops.size(); ++i) {
            const Hop& hop = c.hops[i];
            const int times = i + 1 == c.hops.size() ? c.repeatLast : 1;
            for (int k = 0; k < times; ++k)
                expected[hop.server].push_back(
                    expectedRequest(hop.path, hostOf(*servers[hop.server])));
        }
        for (const auto& [name, server] : servers) {
            SCOPED_TRACE(std::string("server ") + name);
            EXPECT_EQ(server->requests(), expected[name]);
            EXPECT_EQ(server->connectionCount(), static_cast<int>(expected[name].size()));
        }
    }
}

TEST_F(HttpsFetchTest, RedirectToAnUntrustedServerFailsAsTls) {
    TestServer a;
    TestServer stranger(s_stranger);
    a.setDefaultResponse(answer("HTTP/1.1 302 Found\r\nLocation: " + stranger.url("/x")));
    FetchOptions options = quick();
    options.followRedirects = true;
    const FetchResult result = fetchOnce(a.url("/"), options);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, FetchFailure::Tls);
    EXPECT_EQ(stranger.connectionCount(), 1);
    EXPECT_TRUE(stranger.requests().empty());
}

TEST_F(HttpsFetchTest, FollowedRedirectDoesNotWaitForItsBody) {
    // The redirect's body never ends; only its head matters.
    TestServer a;
    a.queueResponse(
        TestResponse::raw("HTTP/1.1 302 Found\r\nLocation: /next\r\n\r\nmoved").stayOpen());
    FetchOptions options = quick();
    options.followRedirects = true;
    options.readTimeout = 60s;
    const auto start = Clock::now();
    const FetchResult result = fetchOnce(a.url("/"), options);
    EXPECT_LT(Clock::now() - start, kHangLimit);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(a.connectionCount(), 2);
}

TEST_F(HttpsFetchTest, AbortBetweenHopsStopsFollowing) {
    std::atomic<bool> abort{false};
    TestServer a;
    a.setHandler([&](const std::string&) {
        abort = true;
        return answer("HTTP/1.1 302 Found\r\nLocation: /again");
    });
    FetchOptions options = quick();
    options.followRedirects = true;
    options.abort = &abort;
    const FetchResult result = fetchOnce(a.url("/"), options);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, FetchFailure::Aborted);
    EXPECT_EQ(a.connectionCount(), 1);
}

} // namespace
