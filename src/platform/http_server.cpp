#include "platform/http_server.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/connection_guard.h"

namespace nms::platform {

namespace {

constexpr int kDefaultPort = 9821;

// A body kept alive while the server sends it.
struct BodySource {
    std::shared_ptr<const std::string> body;
};

ssize_t readBody(void* cls, uint64_t pos, char* buf, size_t max) {
    const auto& body = *static_cast<BodySource*>(cls)->body;
    if (pos >= body.size()) return MHD_CONTENT_READER_END_OF_STREAM;
    const std::size_t n = std::min<std::size_t>(max, body.size() - static_cast<std::size_t>(pos));
    std::memcpy(buf, body.data() + pos, n);
    return static_cast<ssize_t>(n);
}

void freeBody(void* cls) {
    delete static_cast<BodySource*>(cls);
}

// A live feed: what next() gave, sent in pieces as the socket takes them.
struct StreamSource {
    std::shared_ptr<ports::HttpStream> stream;
    std::string pending;
    std::size_t offset = 0;
};

ssize_t readStream(void* cls, uint64_t, char* buf, size_t max) {
    auto& s = *static_cast<StreamSource*>(cls);
    while (s.offset >= s.pending.size()) {
        auto piece = s.stream->next();  // waits on this connection's own thread
        if (!piece) return MHD_CONTENT_READER_END_WITH_ERROR;
        s.pending = std::move(*piece);
        s.offset = 0;
    }
    const std::size_t n = std::min<std::size_t>(max, s.pending.size() - s.offset);
    std::memcpy(buf, s.pending.data() + s.offset, n);
    s.offset += n;
    return static_cast<ssize_t>(n);
}

void freeStream(void* cls) {
    delete static_cast<StreamSource*>(cls);
}

MHD_Result addHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto& request = *static_cast<ports::HttpRequest*>(cls);
    if (key && strcasecmp(key, MHD_HTTP_HEADER_HOST) == 0)
        request.host.emplace_back(value ? value : "");
    else if (key && strcasecmp(key, "Last-Event-ID") == 0)
        request.lastEventId = value ? value : "";
    return MHD_YES;
}

MHD_Result addQuery(void* cls, MHD_ValueKind, const char* key, const char* value) {
    static_cast<ports::HttpRequest*>(cls)->query.emplace_back(key ? key : "", value ? value : "");
    return MHD_YES;
}

}  // namespace

// What the server's callbacks reach.
struct HttpServer::Context {
    Context(ports::HttpHandler& h, ConnectionGuard::Limits limits, ClientAuth auth)
        : handler(h), guard(limits), clientAuth(auth) {}
    ports::HttpHandler& handler;
    ConnectionGuard guard;
    ClientAuth clientAuth;
};

namespace {

std::string addressText(const sockaddr* addr) {
    char text[INET6_ADDRSTRLEN] = "";
    if (addr->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(addr)->sin_addr, text,
                  sizeof text);
    else if (addr->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr, text,
                  sizeof text);
    return text;
}

// Whether the client's certificate is one the configuration asks for: the reason when not.
std::string clientCertificateProblem(MHD_Connection* connection, ClientAuth auth) {
    if (auth == ClientAuth::None) return {};
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    auto session = info ? static_cast<gnutls_session_t>(info->tls_session) : nullptr;
    if (!session) return "no TLS session";
    unsigned count = 0;
    const bool given = gnutls_certificate_get_peers(session, &count) && count > 0;
    if (!given) return auth == ClientAuth::RequireAndVerify ? "a client certificate is needed" : "";
    unsigned status = 0;
    if (gnutls_certificate_verify_peers2(session, &status) < 0 || status != 0)
        return "the client certificate is not signed by the authority this station trusts";
    return {};
}

MHD_Result admit(void* cls, const sockaddr* addr, socklen_t) {
    auto& guard = static_cast<HttpServer::Context*>(cls)->guard;
    return guard.admit(addressText(addr)) ? MHD_YES : MHD_NO;
}

void connectionEvent(void* cls, MHD_Connection* connection, void**,
                     MHD_ConnectionNotificationCode code) {
    auto& guard = static_cast<HttpServer::Context*>(cls)->guard;
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        guard.closed(connection);
        return;
    }
    const auto* fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const auto* from = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    guard.opened(connection, from ? addressText(from->client_addr) : std::string(),
                 fd ? fd->connect_fd : -1);
}

void requestEnded(void* cls, MHD_Connection* connection, void**, MHD_RequestTerminationCode) {
    static_cast<HttpServer::Context*>(cls)->guard.answered(connection);
}

MHD_Result answer(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char*, size_t* uploadSize, void** state) {
    const std::string verb = method ? method : "";
    const bool reads = verb == "GET" || verb == "HEAD";
    // A reading request is answered on its second call, once its headers are all in, so that
    // the connection stays open for the next one; any other is refused at once, and the server
    // then closes the connection rather than read a body nobody asked for.
    static int seen;
    if (reads && *state == nullptr) {
        *state = &seen;
        return MHD_YES;
    }
    if (reads && *uploadSize != 0) {
        *uploadSize = 0;  // a body on a GET is read and ignored
        return MHD_YES;
    }
    auto& context = *static_cast<HttpServer::Context*>(cls);
    context.guard.answering(connection);
    auto& handler = context.handler;
    if (auto problem = clientCertificateProblem(connection, context.clientAuth); !problem.empty()) {
        const std::string body = "{\"error\": \"" + problem + "\"}\n";
        MHD_Response* refused = MHD_create_response_from_buffer(
            body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
        if (!refused) return MHD_NO;
        MHD_add_response_header(refused, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json");
        const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_FORBIDDEN, refused);
        MHD_destroy_response(refused);
        return queued;
    }
    ports::HttpRequest request;
    request.method = verb;
    request.path = url ? url : "";
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, addQuery, &request);
    MHD_get_connection_values(connection, MHD_HEADER_KIND, addHeader, &request);
    if (const auto* from = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
        request.peer = addressText(from->client_addr);
    char* password = nullptr;
    if (char* user = MHD_basic_auth_get_username_password(connection, &password)) {
        request.credentials.emplace(user, password ? password : "");
        MHD_free(user);
        if (password) MHD_free(password);
    }
    ports::HttpResponse reply = handler.handle(request);
    MHD_Response* response = nullptr;
    if (reply.stream) {
        response = MHD_create_response_from_callback(
            MHD_SIZE_UNKNOWN, 4096, readStream, new StreamSource{reply.stream, {}, 0}, freeStream);
    } else {
        auto body = reply.body ? reply.body : std::make_shared<const std::string>();
        const auto size = body->size();
        response = MHD_create_response_from_callback(size, 64 * 1024, readBody,
                                                     new BodySource{std::move(body)}, freeBody);
    }
    if (!response) return MHD_NO;
    if (!reply.contentType.empty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    for (const auto& [name, value] : reply.headers)
        MHD_add_response_header(response, name.c_str(), value.c_str());
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

}  // namespace

std::string parseListenAddress(const std::string& text, std::string& address, int& port) {
    address = "127.0.0.1";
    port = kDefaultPort;
    if (text.empty()) return {};
    std::string host, portText;
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) return "an IPv6 address is written [ADDR]:PORT";
        host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') return "an IPv6 address is written [ADDR]:PORT";
            portText = text.substr(close + 2);
        }
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
    } else if (text.find('.') != std::string::npos) {
        host = text;
    } else {
        portText = text;
    }
    if (!portText.empty()) {
        char* end = nullptr;
        const long p = std::strtol(portText.c_str(), &end, 10);
        if (*end != '\0' || p < 0 || p > 65535) return "the port must be a number from 0 to 65535";
        port = static_cast<int>(p);
    }
    if (host == "localhost") host = "127.0.0.1";
    if (!host.empty()) {
        in6_addr a6{};
        in_addr a4{};
        if (inet_pton(AF_INET, host.c_str(), &a4) != 1 &&
            inet_pton(AF_INET6, host.c_str(), &a6) != 1)
            return "\"" + host + "\" is not an IPv4 or IPv6 address";
        address = host;
    }
    return {};
}

HttpServer::HttpServer(ports::HttpHandler& handler, Options options)
    : handler_(handler), options_(std::move(options)) {}

HttpServer::~HttpServer() {
    stop();
}

namespace {

// The address to listen on, as the socket calls take it.
struct ListenAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    bool v6 = false;
};

std::string listenAddressOf(const std::string& address, int port, ListenAddress& out) {
    auto& storage = out.storage;
    if (inet_pton(AF_INET, address.c_str(), &reinterpret_cast<sockaddr_in*>(&storage)->sin_addr) ==
        1) {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<std::uint16_t>(port));
        out.length = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, address.c_str(),
                         &reinterpret_cast<sockaddr_in6*>(&storage)->sin6_addr) == 1) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<std::uint16_t>(port));
        out.length = sizeof(sockaddr_in6);
        out.v6 = true;
    } else {
        return "\"" + address + "\" is not an IPv4 or IPv6 address";
    }
    return {};
}

// Bound first by a socket of our own, so that the reason is told rather than guessed; then let
// go for the server to take (without SO_REUSEPORT: a second station on the same port is refused
// rather than sharing its requests).
std::string probeListen(ListenAddress& local, const std::string& address, int port) {
    const int probe = ::socket(local.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return std::string("cannot open a socket: ") + std::strerror(errno);
    const int one = 1;
    ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (local.v6) ::setsockopt(probe, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    const int bound = ::bind(probe, reinterpret_cast<sockaddr*>(&local.storage), local.length);
    const int why = errno;
    ::close(probe);
    if (bound != 0) {
        const std::string where =
            (local.v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
        if (why == EADDRINUSE)
            return "cannot listen on " + where + ": the port is in use by another program";
        if (why == EADDRNOTAVAIL)
            return "cannot listen on " + where + ": not an address of this machine";
        if (why == EACCES)
            return "cannot listen on " + where + ": a port below 1024 needs privileges";
        return "cannot listen on " + where + ": " + std::strerror(why);
    }
    return {};
}

// The daemon's options: the address, the limits, the callbacks on the context, and with TLS the
// certificate, its key, the priorities and the client authority.
std::vector<MHD_OptionItem> daemonOptions(const HttpServer::Options& options, bool tls,
                                          ListenAddress& local, HttpServer::Context* context) {
    std::vector<MHD_OptionItem> opts = {
        {MHD_OPTION_SOCK_ADDR, 0, &local.storage},
        // The guard decides who comes in; the server's own limit only leaves room for the
        // connections the guard has shut and whose threads are still ending.
        {MHD_OPTION_CONNECTION_LIMIT, options.maxConnections + options.maxConnections / 2, nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(connectionEvent), context},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(requestEnded), context},
        {MHD_OPTION_CONNECTION_TIMEOUT, options.idleSeconds, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(options.connectionMemory),
         nullptr},
        // Threads of a server that only copies text need little stack.
        {MHD_OPTION_THREAD_STACK_SIZE, 256 * 1024, nullptr},
    };
    if (tls) {
        opts.push_back(
            {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(options.certificatePem.c_str())});
        opts.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(options.keyPem.c_str())});
        if (!options.tlsPriorities.empty())
            opts.push_back(
                {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(options.tlsPriorities.c_str())});
        // Given an authority, the server asks each client for its certificate.
        if (options.clientAuth != ClientAuth::None)
            opts.push_back(
                {MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char*>(options.clientCaPem.c_str())});
    }
    opts.push_back({MHD_OPTION_END, 0, nullptr});
    return opts;
}

}  // namespace

std::string HttpServer::start() {
    ListenAddress local;
    if (auto why = listenAddressOf(options_.address, options_.port, local); !why.empty())
        return why;
    if (auto why = probeListen(local, options_.address, options_.port); !why.empty()) return why;
    const bool v6 = local.v6;
    const bool tls = options_.tls || !options_.certificatePem.empty();
    if (tls && (options_.certificatePem.empty() || options_.keyPem.empty()))
        return "TLS needs a certificate and its key";
    if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
        return "this libmicrohttpd has no TLS";
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    if (v6) flags |= MHD_USE_IPv6;
    if (tls) flags |= MHD_USE_TLS;
    ConnectionGuard::Limits limits;
    limits.maxConnections = options_.maxConnections;
    limits.perAddress = options_.maxPerAddress;
    limits.reserved = options_.reservedConnections;
    limits.headTime = options_.headTime;
    if (tls && options_.clientAuth != ClientAuth::None && options_.clientCaPem.empty())
        return "checking client certificates needs the authority that signs them";
    context_ =
        std::make_unique<Context>(handler_, limits, tls ? options_.clientAuth : ClientAuth::None);
    auto opts = daemonOptions(options_, tls, local, context_.get());
    daemon_ =
        MHD_start_daemon(flags, static_cast<std::uint16_t>(options_.port), admit, context_.get(),
                         answer, context_.get(), MHD_OPTION_ARRAY, opts.data(), MHD_OPTION_END);
    if (!daemon_) {
        context_.reset();
        return "cannot listen on " + options_.address + ":" + std::to_string(options_.port) +
               (tls ? " (the certificate or key is not usable)" : "");
    }
    const auto* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info ? info->port : options_.port;
    return {};
}

void HttpServer::stop() {
    if (!daemon_) return;
    handler_.closeStreams();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    context_.reset();
}

std::string HttpServer::url() const {
    const bool v6 = options_.address.find(':') != std::string::npos;
    const bool tls = options_.tls || !options_.certificatePem.empty();
    return std::string(tls ? "https://" : "http://") +
           (v6 ? "[" + options_.address + "]" : options_.address) + ":" + std::to_string(port_) +
           "/";
}

}  // namespace nms::platform
