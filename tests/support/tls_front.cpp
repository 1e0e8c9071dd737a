#include "tls_front.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "accept_loop.h"

namespace testsupport {

using detail::Socket;
using detail::StopFlag;

namespace {

constexpr int kHandshakeMs = 5000;
constexpr int kIdleMs = 10000;
constexpr int kSliceMs = 20;

const char* BaseName(TestCertificate certificate) {
  switch (certificate) {
    case TestCertificate::Localhost: return "localhost";
    case TestCertificate::LoopbackIp: return "loopback-ip";
    case TestCertificate::WrongName: return "wrong-name";
    case TestCertificate::Expired: return "expired";
    case TestCertificate::SelfSigned: return "self-signed";
  }
  return "";
}

struct ContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

std::unique_ptr<SSL_CTX, ContextFree> ServerContext(TestCertificate certificate) {
  const std::string base = std::string(KT_TEST_CERTIFICATES_DIR) + "/" + BaseName(certificate);
  std::unique_ptr<SSL_CTX, ContextFree> context(SSL_CTX_new(TLS_server_method()));
  if (!context || SSL_CTX_use_certificate_chain_file(context.get(), (base + ".pem").c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context.get(), (base + ".key").c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error("cannot load the test certificate " + base);
  SSL_CTX_set_mode(context.get(), SSL_MODE_ENABLE_PARTIAL_WRITE);
  return context;
}

bool PollBoth(int first, int second) {
  pollfd entries[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
  return poll(entries, 2, kSliceMs) > 0;
}

// Drives an OpenSSL call on a non-blocking socket until it is done, fails,
// the time runs out or the front stops. >0 as the call returned it, else <=0.
template <typename Call>
int Drive(SSL* ssl, int fd, int timeoutMs, const StopFlag& stop, Call call) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ERR_clear_error();
    int result = call();
    if (result > 0) return result;
    int error = SSL_get_error(ssl, result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return result;
    if (stop.load() || std::chrono::steady_clock::now() >= deadline) return 0;
    pollfd entry{fd, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    poll(&entry, 1, kSliceMs);
  }
}

}  // namespace

std::string TestCaFile() { return std::string(KT_TEST_CERTIFICATES_DIR) + "/ca.pem"; }

struct TlsFront::Impl {
  std::unique_ptr<SSL_CTX, ContextFree> context;
  std::uint16_t upstreamPort = 0;
  mutable std::mutex mutex;
  std::vector<std::string> serverNames;  // guarded by mutex
  std::unique_ptr<detail::AcceptLoop> loop;  // last: stopped before the rest goes

  void Serve(Socket client, const StopFlag& stop) {
    // OpenSSL writes with write(); a client that hangs up must not raise
    // SIGPIPE in the test process. Blocked on this thread only.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    std::unique_ptr<SSL, SslFree> ssl(SSL_new(context.get()));
    if (!ssl || SSL_set_fd(ssl.get(), client.Fd()) != 1) return;
    if (Drive(ssl.get(), client.Fd(), kHandshakeMs, stop, [&] { return SSL_accept(ssl.get()); }) <= 0) {
      ERR_clear_error();
      return;
    }
    const char* name = SSL_get_servername(ssl.get(), TLSEXT_NAMETYPE_host_name);
    {
      std::lock_guard<std::mutex> lock(mutex);
      serverNames.push_back(name == nullptr ? "" : name);
    }
    // The server behind is reached once the request starts to arrive, so
    // that its own wait for the request starts then too.
    char first[16 * 1024];
    const int got = Drive(ssl.get(), client.Fd(), kIdleMs, stop,
                          [&] { return SSL_read(ssl.get(), first, sizeof first); });
    Socket upstream = got > 0 ? detail::ConnectToLoopback(upstreamPort, 1000) : Socket();
    if (upstream.Valid() && detail::SendAll(upstream.Fd(), std::string(first, static_cast<std::size_t>(got)), stop))
      Relay(ssl.get(), client.Fd(), upstream.Fd(), stop);
    SSL_shutdown(ssl.get());  // close_notify, without waiting for the reply
    ERR_clear_error();
  }

  // Until the upstream server closes, the client goes, or nothing moves
  // for kIdleMs.
  static void Relay(SSL* ssl, int client, int upstream, const StopFlag& stop) {
    char buffer[16 * 1024];
    bool clientOpen = true;
    auto lastMove = std::chrono::steady_clock::now();
    while (!stop.load() && std::chrono::steady_clock::now() - lastMove < std::chrono::milliseconds(kIdleMs)) {
      bool moved = false;
      if (clientOpen) {
        ERR_clear_error();
        int got = SSL_read(ssl, buffer, sizeof buffer);
        if (got > 0) {
          moved = detail::SendAll(upstream, std::string(buffer, static_cast<std::size_t>(got)), stop);
        } else if (int error = SSL_get_error(ssl, got); error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
          clientOpen = false;
          shutdown(upstream, SHUT_WR);
        }
      }
      ssize_t got = recv(upstream, buffer, sizeof buffer, 0);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return;
      if (got > 0) {
        std::size_t size = static_cast<std::size_t>(got);
        for (std::size_t at = 0; at < size;) {
          int put = Drive(ssl, client, kIdleMs, stop,
                          [&] { return SSL_write(ssl, buffer + at, static_cast<int>(size - at)); });
          if (put <= 0) return;
          at += static_cast<std::size_t>(put);
        }
        moved = true;
      }
      if (moved)
        lastMove = std::chrono::steady_clock::now();
      else
        PollBoth(client, upstream);
    }
  }
};

TlsFront::TlsFront(TestCertificate certificate, std::uint16_t upstreamPort, std::uint16_t port)
    : impl_(std::make_unique<Impl>()) {
  impl_->context = ServerContext(certificate);
  impl_->upstreamPort = upstreamPort;
  Impl* impl = impl_.get();
  impl_->loop = std::make_unique<detail::AcceptLoop>(
      port, [impl](Socket connection, const StopFlag& stop) { impl->Serve(std::move(connection), stop); });
}

TlsFront::~TlsFront() { impl_->loop.reset(); }

std::uint16_t TlsFront::Port() const { return impl_->loop->Port(); }
std::size_t TlsFront::ConnectionCount() const { return impl_->loop->Accepted(); }

std::vector<std::string> TlsFront::ServerNames() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->serverNames;
}

bool TlsFront::WaitForHandled(std::size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (impl_->loop->Handled() < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace testsupport
