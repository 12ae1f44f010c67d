#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/http_server.h"

namespace nms::platform {

// The web service's protection, in the format of node_exporter's --web.config.file:
//   tls_server_config: {cert_file: PATH, key_file: PATH, min_version: TLS12 | TLS13,
//                       cipher_suites: [TLS_ECDHE_..._WITH_AES_128_GCM_SHA256, ...],
//                       client_auth_type: NoClientCert | VerifyClientCertIfGiven |
//                                         RequireAndVerifyClientCert, client_ca_file: PATH}
//   basic_auth_users: {NAME: BCRYPT_HASH, ...}
//   http_server_config: {headers: {NAME: VALUE, ...}, allowed_hosts: [NAME, ...]}
// Paths are taken relative to the file's own folder.
// tls_server_config is what the server is given (TlsSettings).
struct WebConfig : TlsSettings {
    using ClientAuth = platform::ClientAuth;
    std::map<std::string, std::string> users;  // name -> bcrypt hash
    // http_server_config.allowed_hosts: names besides the listening address that a request's
    // Host may give.
    std::vector<std::string> hostNames;
    // http_server_config.headers: the operator's own, on every answer (they replace the
    // station's of the same name).
    std::vector<std::pair<std::string, std::string>> headers;
};

// Reads and checks the file; the reason, naming the file, when it cannot be used. A file that
// others than its owner may read is refused: it names who may read the station.
std::string loadWebConfig(const std::string& path, WebConfig& config);

// The GnuTLS priorities for a minimum version ("TLS12", "TLS13") and Go's names of TLS 1.2
// cipher suites (empty: all those the station offers); the reason when one cannot be offered.
std::string tlsPriorities(const std::string& minVersion, const std::vector<std::string>& suites,
                          std::string& priorities);

// Whether `password` matches a bcrypt ("$2y$", "$2b$", "$2a$") hash.
bool passwordMatches(const std::string& hash, const std::string& password);

}  // namespace nms::platform
