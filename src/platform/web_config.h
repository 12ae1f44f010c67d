#pragma once

#include <map>
#include <string>

namespace nms::platform {

// The web service's protection, in the format of node_exporter's --web.config.file:
//   tls_server_config: {cert_file: PATH, key_file: PATH}
//   basic_auth_users: {NAME: BCRYPT_HASH, ...}
// Paths are taken relative to the file's own folder.
struct WebConfig {
    bool tls = false;                          // asked for: served over TLS or not at all
    std::string certificatePem, keyPem;        // checked by GnuTLS as a matching pair
    std::map<std::string, std::string> users;  // name -> bcrypt hash
};

// Reads and checks the file; the reason, naming the file, when it cannot be used. A file that
// others than its owner may read is refused: it names who may read the station.
std::string loadWebConfig(const std::string& path, WebConfig& config);

// Whether `password` matches a bcrypt ("$2y$", "$2b$", "$2a$") hash.
bool passwordMatches(const std::string& hash, const std::string& password);

}  // namespace nms::platform
