#include "sender/httpfetch.h"
#include "testserver.h"

#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
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

FetchOptions quick(std::chrono::milliseconds readTimeout = 5s) {
    FetchOptions options;
    options.connectTimeout = 5s;
    options.readTimeout = readTimeout;
    return options;
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

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct RequestCase {
    std::string scheme;
    std::string rest; // after "127.0.0.1:<port>"
    std::string target;
};

TEST(FetchUrlTest, SendsExactlyTheRequest) {
    const std::vector<RequestCase> cases = {
        {"http", "/p?q=1#f", "/p?q=1#f"},
        {"http", "/a/b.html#top", "/a/b.html"},
        {"http", "", "/"},
        {"http", "#only", "/"},
        {"http", "?q=1", "/?q=1"},
        {"http", "/p#a?b", "/p#a?b"},
        {"HTTP", "/Case/Kept", "/Case/Kept"},
        {"hTtP", "/%E4%B8%AD?x=%20", "/%E4%B8%AD?x=%20"},
        // A Chinese character is two GBK bytes and goes out as one "?".
        {"http", "/\xD6\xD0\xCE\xC4.asp?k=\xD6\xD0&s=x", "/??.asp?k=?&s=x"},
        // A space, and the other bytes a request target cannot hold, percent-encoded; the rest
        // (an existing "%20", "?", "#", "&") as it is.
        {"http", "/q?w=a b", "/q?w=a%20b"},
        {"http", "/inj?u=sp ace.com HTTP/1.0", "/inj?u=sp%20ace.com%20HTTP/1.0"},
        {"http", "/x?\"<>\\^`{|}", "/x?%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {"http", "/ok?a=%20&b=[1]~!*'();:@$,+", "/ok?a=%20&b=[1]~!*'();:@$,+"},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.scheme + c.rest);
        TestServer server;
        const std::string host = "127.0.0.1:" + std::to_string(server.port());
        EXPECT_TRUE(fetchUrl(c.scheme + "://" + host + c.rest, quick()));
        const std::vector<std::string> requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0], expectedRequest(c.target, host));
    }
}

struct ParseCase {
    std::string url;
    bool ok;
    std::string host;
    uint16_t port;
    std::string target;
    std::string hostHeader;
};

TEST(ParseFetchUrlTest, SplitsHostPortAndTarget) {
    const std::vector<ParseCase> cases = {
        {"http://example.com/p", true, "example.com", 80, "/p", "example.com"},
        {"http://example.com:80/p", true, "example.com", 80, "/p", "example.com"},
        {"http://example.com:080", true, "example.com", 80, "/", "example.com"},
        {"http://example.com:/p", true, "example.com", 80, "/p", "example.com"},
        {"http://host:8080/p?q=1", true, "host", 8080, "/p?q=1", "host:8080"},
        {"Http://Sub.Example.COM?a#b", true, "Sub.Example.COM", 80, "/?a#b", "Sub.Example.COM"},
        {"http://[::1]:8080/x", true, "[::1]", 8080, "/x", "[::1]:8080"},
        {"http://[::1]/x#y", true, "[::1]", 80, "/x", "[::1]"},
        {"http://host:65535/", true, "host", 65535, "/", "host:65535"},
        {"http://a.com/\x80?\xD6", true, "a.com", 80, "/???", "a.com"},
        {"https://example.com/", false, "", 0, "", ""},
        {"HTTPS://example.com/", false, "", 0, "", ""},
        {"ftp://example.com/", false, "", 0, "", ""},
        {"example.com/p", false, "", 0, "", ""},
        {"//example.com/p", false, "", 0, "", ""},
        {"", false, "", 0, "", ""},
        {"http://", false, "", 0, "", ""},
        {"http:///p", false, "", 0, "", ""},
        {"http://host:0/", false, "", 0, "", ""},
        {"http://host:65536/", false, "", 0, "", ""},
        {"http://host:8o/", false, "", 0, "", ""},
        {"http://host:80:81/", false, "", 0, "", ""},
        {"http://user:pw@host/", false, "", 0, "", ""},
        {"http://\xD6\xD0\xCE\xC4.com/", false, "", 0, "", ""},
        {"http://ho st/", false, "", 0, "", ""},
        {"http://[::1/", false, "", 0, "", ""},
        {"http://[::1]x/", false, "", 0, "", ""},
        {"http://host/a\r\nX-Injected: 1", false, "", 0, "", ""},
        {"http://host/a\tb", false, "", 0, "", ""},
        {std::string("http://host/a\0b", 15), false, "", 0, "", ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.url);
        const std::optional<FetchTarget> target = parseFetchUrl(c.url);
        ASSERT_EQ(target.has_value(), c.ok);
        if (!target)
            continue;
        EXPECT_EQ(target->host, c.host);
        EXPECT_EQ(target->port, c.port);
        EXPECT_EQ(target->requestTarget, c.target);
        EXPECT_EQ(target->hostHeader, c.hostHeader);
    }
}

struct OutcomeCase {
    std::string name;
    TestResponse response;
    bool success;
};

void expectOutcomes(const std::vector<OutcomeCase>& cases) {
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server;
        server.setDefaultResponse(c.response);
        const auto start = Clock::now();
        EXPECT_EQ(fetchUrl(server.url("/x"), quick()), c.success);
        EXPECT_LT(Clock::now() - start, kHangLimit);
        EXPECT_EQ(server.connectionCount(), 1);
    }
}

TestResponse status(const std::string& head) {
    return TestResponse::raw(head + "\r\nContent-Length: 2\r\n\r\nok");
}

TEST(FetchUrlTest, JudgesTheFinalStatus) {
    expectOutcomes({
        {"200", status("HTTP/1.1 200 OK"), true},
        {"201", status("HTTP/1.1 201 Created"), true},
        {"204", TestResponse::raw("HTTP/1.1 204 No Content\r\n\r\n").stayOpen(), true},
        {"299", status("HTTP/1.1 299 Whatever"), true},
        {"200 with HTTP/1.0", status("HTTP/1.0 200 OK"), true},
        {"200 Location", status("HTTP/1.1 200 OK\r\nLocation: /elsewhere"), false},
        {"200 location lower case", status("HTTP/1.1 200 OK\r\nlocation: /x"), false},
        {"201 Location", status("HTTP/1.1 201 Created\r\nLocation: /new"), true},
        {"302 Location", status("HTTP/1.1 302 Found\r\nLocation: /x"), false},
        {"301 without Location", status("HTTP/1.1 301 Moved"), false},
        {"304", TestResponse::raw("HTTP/1.1 304 Not Modified\r\n\r\n").stayOpen(), false},
        {"401", status("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic"), false},
        {"407", status("HTTP/1.1 407 Proxy Auth\r\nProxy-Authenticate: Basic"), false},
        {"404", status("HTTP/1.1 404 Not Found"), false},
        {"500", status("HTTP/1.1 500 Server Error"), false},
        {"600", status("HTTP/1.1 600 Odd"), false},
        {"100 then 200", status("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK"), true},
        {"Location only on the 100",
         status("HTTP/1.1 100 Continue\r\nLocation: /x\r\n\r\n"
                "HTTP/1.1 200 OK"),
         true},
        {"103 then 200", status("HTTP/1.1 103 Early Hints\r\n\r\nHTTP/1.1 200 OK"), false},
        {"102 alone", TestResponse::raw("HTTP/1.1 102 Processing\r\n\r\n").stayOpen(), false},
        {"no status line", TestResponse::raw("hello\r\n\r\n"), false},
        {"nothing at all", TestResponse::raw(""), false},
        {"headers without end",
         TestResponse::raw("HTTP/1.1 200 OK\r\n")
             .then("X-Fill: " + std::string(1000, 'x') + "\r\n", 0ms, 100000),
         false},
    });
}

TEST(FetchUrlTest, ReadsEveryKindOfBodyToItsEnd) {
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    expectOutcomes({
        {"chunked", TestResponse::raw(chunkedHead + "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"),
         true},
        {"chunked in pieces",
         TestResponse::raw(chunkedHead + "5\r\nhel").then("lo\r\n0\r\n\r\n", 50ms).stayOpen(),
         true},
        {"chunked with a Location trailer",
         TestResponse::raw(chunkedHead + "2\r\nok\r\n0\r\nLocation: /x\r\n\r\n"), true},
        {"close-delimited", TestResponse::raw("HTTP/1.1 200 OK\r\n\r\n").then("body", 50ms), true},
        {"chunked cut short", TestResponse::raw(chunkedHead + "5\r\nhello\r\n"), false},
        {"chunked garbage", TestResponse::raw(chunkedHead + "zz\r\nhello\r\n0\r\n\r\n"), false},
        {"Content-Length cut short",
         TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort"), false},
    });
}

struct SilenceCase {
    std::string name;
    TestResponse response;
};

TEST(FetchUrlTest, SilenceLongerThanTheReadTimeoutFails) {
    const std::vector<SilenceCase> cases = {
        {"silent from the start", TestResponse::silent()},
        {"silent within the headers", TestResponse::raw("HTTP/1.1 200 OK\r\n").stayOpen()},
        {"silent mid-body",
         TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789").stayOpen()},
        {"silent mid-chunk",
         TestResponse::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhe")
             .stayOpen()},
    };
    for (const SilenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server;
        server.setDefaultResponse(c.response);
        const auto start = Clock::now();
        EXPECT_FALSE(fetchUrl(server.url("/"), quick(300ms)));
        EXPECT_LT(Clock::now() - start, kHangLimit);
    }
}

TEST(FetchUrlTest, ReadTimeoutBoundsEachSilenceNotTheWholeExchange) {
    // Eight pauses well below the read time-out add up to far more than it.
    TestResponse slow = TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n");
    for (int i = 0; i < 8; ++i)
        slow.then("x", 300ms);
    TestServer server;
    server.setDefaultResponse(slow);
    EXPECT_TRUE(fetchUrl(server.url("/"), quick(1500ms)));
}

// A server that drips a byte at a time is never silent for long; the total limit ends the fetch
// as a time-out all the same, in the body or still in the headers.
TEST(FetchUrlTest, DrippingServerEndsAtTheTotalLimit) {
    // A byte every 200 ms, each well inside the read time-out, for far longer than the limit.
    auto drip = [](std::string head, const std::string& byte) {
        TestResponse response = TestResponse::raw(std::move(head));
        for (int i = 0; i < 100; ++i)
            response.then(byte, 200ms);
        return response;
    };
    const struct {
        const char* name;
        TestResponse response;
    } cases[] = {
        {"dripping body", drip("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", "x")},
        {"dripping headers", drip("HTTP/1.1 200 OK\r\n", "X-A: b\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server;
        server.setDefaultResponse(c.response);
        FetchOptions options = quick(1s);
        options.totalTimeout = 2s;
        const auto start = Clock::now();
        const FetchResult result = fetchOnce(server.url("/"), options);
        const auto took = Clock::now() - start;
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failure, FetchFailure::Timeout);
        EXPECT_GE(took, 2s);
        EXPECT_LT(took, kHangLimit);
    }
}

TEST(FetchUrlTest, HugeBodyIsStreamedWithFlatMemory) {
    constexpr uint64_t kChunk = 64 * 1024;
    constexpr uint64_t kChunks = 1600; // 100 MiB
    TestServer server;
    server.setDefaultResponse(TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Length: " +
                                                std::to_string(kChunk * kChunks) + "\r\n\r\n")
                                  .then(std::string(kChunk, 'x'), 0ms, kChunks));
    const long before = peakRssKb();
    EXPECT_TRUE(fetchUrl(server.url("/big"), quick()));
    EXPECT_LT(peakRssKb() - before, 30 * 1024) << "peak RSS grew by more than 30 MiB";
}

TEST(FetchUrlTest, UnsupportedUrlsFailWithoutConnecting) {
    TestServer server;
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    const std::vector<std::string> urls = {
        "https://" + hostPort + "/",
        "HTTPS://" + hostPort + "/",
        hostPort + "/",
        "ftp://" + hostPort + "/",
        "http://" + hostPort + "/a\r\nCookie: x",
    };
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        EXPECT_FALSE(fetchUrl(url, quick()));
    }
    const std::atomic<bool> abort{true};
    FetchOptions aborted = quick();
    aborted.abort = &abort;
    EXPECT_FALSE(fetchUrl(server.url("/"), aborted));

    ASSERT_TRUE(probe(server.port()));
    ASSERT_TRUE(server.waitForConnections(1, kHangLimit));
    EXPECT_EQ(server.connectionCount(), 1) << "only our probe may have connected";
}

TEST(FetchUrlTest, RefusedConnectionFails) {
    // A bound socket that never listens: connecting to its port is refused.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    const auto start = Clock::now();
    EXPECT_FALSE(fetchUrl(url, quick()));
    EXPECT_LT(Clock::now() - start, kHangLimit);
    close(fd);
}

TEST(FetchUrlTest, AbortFromAnotherThreadEndsASilentFetch) {
    TestServer server;
    server.setDefaultResponse(TestResponse::silent());
    std::atomic<bool> abort{false};
    FetchOptions options = quick(60s);
    options.abort = &abort;
    std::thread stopper([&] {
        server.waitForConnections(1, kHangLimit);
        abort = true;
    });
    const auto start = Clock::now();
    EXPECT_FALSE(fetchUrl(server.url("/"), options));
    EXPECT_LT(Clock::now() - start, kHangLimit);
    stopper.join();
}

TEST(FetchUrlTest, TwentyClientsFetchAtOnce) {
    constexpr int kClients = 20;
    TestServer server;
    // Every answer waits a little, so the clients overlap on the server.
    server.setDefaultResponse(TestResponse().then("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n"
                                                  "ok",
                                                  100ms));
    std::atomic<int> successes{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&, i] {
            if (fetchUrl(server.url("/c" + std::to_string(i)), quick()))
                ++successes;
        });
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(successes, kClients);
    EXPECT_EQ(server.connectionCount(), kClients);
    EXPECT_EQ(server.requests().size(), size_t(kClients));
}

} // namespace
