#include "platform/linux/tls_channel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/linux/socket_wait.h"

namespace winhttp_linux {
namespace {

struct MethodFree {
  void operator()(BIO_METHOD* method) const { BIO_meth_free(method); }
};
struct ContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// What verification may overlook, and whether it refused something else.
struct Verdict {
  DWORD securityFlags = 0;
  bool refused = false;
};

bool IsIgnored(int error, DWORD flags) {
  switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return (flags & SECURITY_FLAG_IGNORE_UNKNOWN_CA) != 0;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return (flags & SECURITY_FLAG_IGNORE_CERT_DATE_INVALID) != 0;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return (flags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) != 0;
    case X509_V_ERR_INVALID_PURPOSE:
      return (flags & SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE) != 0;
    default:
      return false;
  }
}

int VerifyPeer(int preverified, X509_STORE_CTX* store) {
  if (preverified == 1) return 1;
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* verdict = static_cast<Verdict*>(SSL_get_app_data(ssl));
  if (IsIgnored(X509_STORE_CTX_get_error(store), verdict->securityFlags)) return 1;
  verdict->refused = true;
  return 0;
}

// The socket BIO of OpenSSL writes with write(), which raises SIGPIPE on a
// closed connection inside someone else's process; this one sends with
// MSG_NOSIGNAL. Its data is the descriptor.
int SocketFd(BIO* bio) { return *static_cast<const int*>(BIO_get_data(bio)); }

int SocketWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  ssize_t put = send(SocketFd(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
  if (put >= 0) return static_cast<int>(put);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) BIO_set_retry_write(bio);
  return -1;
}

int SocketRead(BIO* bio, char* data, int size) {
  BIO_clear_retry_flags(bio);
  ssize_t got = recv(SocketFd(bio), data, static_cast<std::size_t>(size), 0);
  if (got >= 0) return static_cast<int>(got);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) BIO_set_retry_read(bio);
  return -1;
}

long SocketControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

bool IsAddressLiteral(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

}  // namespace

struct TlsChannel::Objects {
  int fd = -1;
  Verdict verdict;
  std::unique_ptr<BIO_METHOD, MethodFree> method;
  std::unique_ptr<SSL_CTX, ContextFree> context;
  std::unique_ptr<SSL, SslFree> ssl;  // last: goes first, with its BIO, before the method

  bool Prepare(const std::string& host);
  bool Expect(const std::string& host);
};

bool TlsChannel::Objects::Prepare(const std::string& host) {
  method.reset(BIO_meth_new(BIO_TYPE_SOURCE_SINK, "winhttp socket"));
  if (!method || BIO_meth_set_write(method.get(), SocketWrite) != 1 ||
      BIO_meth_set_read(method.get(), SocketRead) != 1 || BIO_meth_set_ctrl(method.get(), SocketControl) != 1)
    return false;
  context.reset(SSL_CTX_new(TLS_client_method()));
  if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1) return false;
  // Missing default locations only leave the store empty: every
  // certificate is then untrusted.
  SSL_CTX_set_default_verify_paths(context.get());
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, VerifyPeer);
  // Servers often close without close_notify; the HTTP framing, not TLS,
  // tells a whole body from a cut one.
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  ssl.reset(SSL_new(context.get()));
  if (!ssl) return false;
  BIO* bio = BIO_new(method.get());
  if (bio == nullptr) return false;
  BIO_set_data(bio, &fd);
  BIO_set_init(bio, 1);
  SSL_set_bio(ssl.get(), bio, bio);
  SSL_set_app_data(ssl.get(), &verdict);
  return Expect(host);
}

// The name the certificate must carry, and SNI for host names (never for
// address literals).
bool TlsChannel::Objects::Expect(const std::string& host) {
  const bool checkName = (verdict.securityFlags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) == 0;
  if (IsAddressLiteral(host))
    return !checkName || X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), host.c_str()) == 1;
  if (SSL_set_tlsext_host_name(ssl.get(), host.c_str()) != 1) return false;
  SSL_set_hostflags(ssl.get(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return !checkName || SSL_set1_host(ssl.get(), host.c_str()) == 1;
}

TlsChannel::TlsChannel() = default;
TlsChannel::~TlsChannel() { End(); }

bool TlsChannel::Active() const { return objects_ != nullptr; }

DWORD TlsChannel::Start(int fd, const std::string& host, DWORD securityFlags, const Timeouts& timeouts) {
  End();
  fd_ = fd;
  timeouts_ = timeouts;
  objects_ = std::make_unique<Objects>();
  objects_->fd = fd;
  objects_->verdict.securityFlags = securityFlags;
  if (!objects_->Prepare(host)) {
    End();
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  for (;;) {
    ERR_clear_error();
    int result = SSL_connect(objects_->ssl.get());
    if (result == 1) return ERROR_SUCCESS;
    Step step = Continue(result);
    if (step == Step::Again) continue;
    DWORD error = objects_->verdict.refused ? ERROR_WINHTTP_SECURE_FAILURE
                  : step == Step::TimedOut  ? ERROR_WINHTTP_TIMEOUT
                                            : ERROR_WINHTTP_SECURE_CHANNEL_ERROR;
    End();
    return error;
  }
}

// After an OpenSSL call that did not complete: waits for what it needs
// (reads within the receive time-out, writes within the send time-out).
TlsChannel::Step TlsChannel::Continue(int result) {
  switch (SSL_get_error(objects_->ssl.get(), result)) {
    case SSL_ERROR_WANT_READ: {
      int ready = WaitForSocket(fd_, POLLIN, PollTimeout(timeouts_.receiveMs));
      return ready > 0 ? Step::Again : ready == 0 ? Step::TimedOut : Step::Failed;
    }
    case SSL_ERROR_WANT_WRITE: {
      int ready = WaitForSocket(fd_, POLLOUT, PollTimeout(timeouts_.sendMs));
      return ready > 0 ? Step::Again : ready == 0 ? Step::TimedOut : Step::Failed;
    }
    case SSL_ERROR_ZERO_RETURN:
      return Step::Closed;
    default:
      return Step::Failed;
  }
}

DWORD TlsChannel::SendAll(const char* data, std::size_t size) {
  if (!Active()) return ERROR_WINHTTP_CONNECTION_ERROR;
  while (size > 0) {
    ERR_clear_error();
    int piece = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    int put = SSL_write(objects_->ssl.get(), data, piece);
    if (put > 0) {
      data += put;
      size -= static_cast<std::size_t>(put);
      continue;
    }
    Step step = Continue(put);
    if (step == Step::Again) continue;  // the same bytes again, as OpenSSL requires
    return step == Step::TimedOut ? ERROR_WINHTTP_TIMEOUT : ERROR_WINHTTP_CONNECTION_ERROR;
  }
  return ERROR_SUCCESS;
}

DWORD TlsChannel::ReceiveSome(std::string& into, std::size_t limit, bool& closed) {
  closed = false;
  if (!Active()) return ERROR_WINHTTP_CONNECTION_ERROR;
  char buffer[16 * 1024];  // one TLS record at most
  for (;;) {
    ERR_clear_error();
    int got = SSL_read(objects_->ssl.get(), buffer, static_cast<int>(std::min(limit, sizeof buffer)));
    if (got > 0) {
      into.append(buffer, static_cast<std::size_t>(got));
      return ERROR_SUCCESS;
    }
    Step step = Continue(got);
    if (step == Step::Again) continue;
    if (step == Step::Closed) {
      closed = true;
      return ERROR_SUCCESS;
    }
    return step == Step::TimedOut ? ERROR_WINHTTP_TIMEOUT : ERROR_WINHTTP_CONNECTION_ERROR;
  }
}

void TlsChannel::End() {
  if (!objects_) return;
  // A polite close_notify when the channel was up; no waiting for the peer's.
  SSL* ssl = objects_->ssl.get();  // null when the set-up failed before it
  if (ssl != nullptr && SSL_is_init_finished(ssl)) SSL_shutdown(ssl);
  objects_.reset();
  // Nothing of this channel's failures stays queued on the caller's thread.
  ERR_clear_error();
  fd_ = -1;
}

}  // namespace winhttp_linux
