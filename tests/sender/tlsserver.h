#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Certificates made afresh for a test, as PEM files: a throwaway certificate authority and a
// server certificate signed by it.
struct TestCertificates {
    std::string caFile;   // the authority, for FetchOptions::caFile
    std::string certFile; // the server's certificate
    std::string keyFile;  // its private key
};

// Writes a new authority and a server certificate for subjectAltName into folder (which must
// exist). Throws std::runtime_error when OpenSSL refuses or a file cannot be written.
TestCertificates makeTestCertificates(const std::string& folder,
                                      const std::string& subjectAltName = "DNS:localhost,"
                                                                          "IP:127.0.0.1");

// One connection's bytes as the test server moves them: plain, or through TLS. A stream owns
// its socket and closes it when destroyed.
class TestStream {
public:
    // What one call came to: bytes moved; or nothing yet, to be tried again once the socket is
    // ready for `wait` (POLLIN or POLLOUT); or, with neither, the end (the peer left or failed).
    struct Step {
        long count = 0;
        short wait = 0;
    };

    virtual ~TestStream() = default;
    // The TLS handshake; a plain stream is ready at once.
    virtual Step accept() { return {1, 0}; }
    virtual Step read(char* buffer, size_t size) = 0;
    virtual Step write(std::string_view bytes) = 0;
    // Ends what we send; the peer may still send until it hangs up.
    virtual Step endSending() = 0;
    // Bytes already read from the socket and waiting here, so no wait for the socket is needed.
    virtual bool buffered() const { return false; }
};

std::unique_ptr<TestStream> makePlainStream(int fd);

// The server's side of TLS for TestServer, made once from a certificate and its key.
class TlsContext {
public:
    // Throws std::runtime_error when the files do not load.
    explicit TlsContext(const TestCertificates& certificates);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // A stream over fd (non-blocking), used on the calling thread only.
    std::unique_ptr<TestStream> makeStream(int fd) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
