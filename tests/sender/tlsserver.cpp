#include "tlsserver.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

[[noreturn]] void fail(const std::string& what) {
    ERR_clear_error();
    throw std::runtime_error("test certificates: " + what);
}

KeyPtr newKey() {
    KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key)
        fail("no key");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    const bool added = extension && X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    if (!added)
        fail("extension " + value);
}

// issuer null: the certificate signs itself.
CertPtr newCertificate(EVP_PKEY* key, const char* commonName, long serial, X509* issuer) {
    CertPtr cert(X509_new(), X509_free);
    if (!cert)
        fail("no certificate");
    X509_NAME* subject = X509_get_subject_name(cert.get());
    // Valid from an hour ago, so clocks a little apart do not matter.
    const bool ok =
        X509_set_version(cert.get(), X509_VERSION_3) == 1 &&
        ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial) == 1 &&
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) &&
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600) &&
        X509_set_pubkey(cert.get(), key) == 1 &&
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                   0) == 1 &&
        X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : subject) == 1;
    if (!ok)
        fail("certificate fields");
    X509* signer = issuer ? issuer : cert.get();
    addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    return cert;
}

void sign(X509* cert, EVP_PKEY* key) {
    if (X509_sign(cert, key, EVP_sha256()) <= 0)
        fail("signing");
}

template <typename Write> void writePem(const std::string& path, Write write) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        fail("cannot write " + path);
    const bool written = write(file);
    if (std::fclose(file) != 0 || !written)
        fail("cannot write " + path);
}

void writeCertificate(const std::string& path, X509* cert) {
    writePem(path, [&](FILE* file) { return PEM_write_X509(file, cert) == 1; });
}

void writeKey(const std::string& path, EVP_PKEY* key) {
    writePem(path, [&](FILE* file) {
        return PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    });
}

long nextSerial() {
    // Serials differ between runs and calls, so no two authorities look alike.
    static std::atomic<long> counter{0};
    return static_cast<long>(std::time(nullptr) % 1000000) * 1000 + ++counter;
}

class PlainStream : public TestStream {
public:
    explicit PlainStream(int fd) : m_fd(fd) {}
    ~PlainStream() override { close(m_fd); }
    PlainStream(const PlainStream&) = delete;
    PlainStream& operator=(const PlainStream&) = delete;

    Step read(char* buffer, size_t size) override {
        const ssize_t got = recv(m_fd, buffer, size, 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return {0, POLLIN};
        return {got > 0 ? static_cast<long>(got) : 0, 0};
    }
    Step write(std::string_view bytes) override {
        const ssize_t sent = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR))
            return {0, POLLOUT};
        return {sent > 0 ? static_cast<long>(sent) : 0, 0};
    }
    Step endSending() override {
        shutdown(m_fd, SHUT_WR);
        return {1, 0};
    }

private:
    int m_fd;
};

class TlsStream : public TestStream {
public:
    // Without a session (out of memory) every call fails, and the connection just ends.
    TlsStream(SSL_CTX* context, int fd) : m_fd(fd), m_ssl(SSL_new(context)) {
        if (m_ssl && SSL_set_fd(m_ssl, fd) != 1) {
            SSL_free(m_ssl);
            m_ssl = nullptr;
        }
        // OpenSSL writes with plain send(), so a client that has gone would raise SIGPIPE;
        // blocked on this connection's thread, the write fails with EPIPE instead.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    }
    ~TlsStream() override {
        SSL_free(m_ssl);
        // Errors of this connection stay with it, not with the next one on this thread.
        ERR_clear_error();
        close(m_fd);
    }
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    Step accept() override { return m_ssl ? outcome(SSL_accept(m_ssl)) : Step{}; }
    Step read(char* buffer, size_t size) override {
        if (!m_ssl)
            return {};
        return outcome(SSL_read(m_ssl, buffer, static_cast<int>(std::min<size_t>(size, INT_MAX))));
    }
    Step write(std::string_view bytes) override {
        if (!m_ssl)
            return {};
        return outcome(SSL_write(m_ssl, bytes.data(),
                                 static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX))));
    }
    Step endSending() override {
        if (!m_ssl)
            return {};
        const int rc = SSL_shutdown(m_ssl);
        // 0: our close_notify is out and the peer's has not come, which is all we need.
        const Step step = rc >= 0 ? Step{1, 0} : outcome(rc);
        if (step.count > 0)
            shutdown(m_fd, SHUT_WR);
        return step;
    }
    bool buffered() const override { return m_ssl && SSL_pending(m_ssl) > 0; }

private:
    Step outcome(int rc) const {
        if (!m_ssl)
            return {};
        if (rc > 0)
            return {rc, 0};
        switch (SSL_get_error(m_ssl, rc)) {
        case SSL_ERROR_WANT_READ:
            return {0, POLLIN};
        case SSL_ERROR_WANT_WRITE:
            return {0, POLLOUT};
        default:
            return {0, 0};
        }
    }

    int m_fd;
    SSL* m_ssl;
};

} // namespace

TestCertificates makeTestCertificates(const std::string& folder,
                                      const std::string& subjectAltName) {
    const KeyPtr caKey = newKey();
    const CertPtr ca = newCertificate(caKey.get(), "Test CA", nextSerial(), nullptr);
    addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    sign(ca.get(), caKey.get());

    const KeyPtr key = newKey();
    const CertPtr cert = newCertificate(key.get(), "localhost", nextSerial(), ca.get());
    addExtension(cert.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), ca.get(), NID_key_usage, "critical,digitalSignature");
    addExtension(cert.get(), ca.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), ca.get(), NID_subject_alt_name, subjectAltName);
    sign(cert.get(), caKey.get());

    TestCertificates files{folder + "/ca.pem", folder + "/server.pem", folder + "/server.key"};
    writeCertificate(files.caFile, ca.get());
    writeCertificate(files.certFile, cert.get());
    writeKey(files.keyFile, key.get());
    return files;
}

std::unique_ptr<TestStream> makePlainStream(int fd) {
    return std::make_unique<PlainStream>(fd);
}

struct TlsContext::Impl {
    SSL_CTX* context = nullptr;
};

TlsContext::TlsContext(const TestCertificates& certificates) : m_impl(std::make_unique<Impl>()) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context)
        throw std::runtime_error("test server: no TLS context");
    m_impl->context = context;
    // No session tickets: the exchange is the handshake and the request, nothing more.
    SSL_CTX_set_num_tickets(context, 0);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(context, certificates.certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, certificates.keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context) != 1) {
        SSL_CTX_free(context);
        ERR_clear_error();
        throw std::runtime_error("test server: cannot load " + certificates.certFile);
    }
}

TlsContext::~TlsContext() {
    SSL_CTX_free(m_impl->context);
}

std::unique_ptr<TestStream> TlsContext::makeStream(int fd) const {
    return std::make_unique<TlsStream>(m_impl->context, fd);
}
