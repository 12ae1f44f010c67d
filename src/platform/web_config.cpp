#include "platform/web_config.h"

#include <crypt.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <strings.h>
#include <sys/stat.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

namespace nms::platform {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The whole of a regular file; the reason when there is none to read.
std::string readWhole(const std::string& path, std::string& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (!S_ISREG(st.st_mode)) return "it is not a file";
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::strerror(errno);
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    if (in.bad()) return "it cannot be read";
    if (out.empty()) return "it is empty";
    return {};
}

// Whether GnuTLS takes the pair as the server would: the reason when not.
std::string tlsProblem(const std::string& certificatePem, const std::string& keyPem) {
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS)
        return "GnuTLS cannot start";
    const gnutls_datum_t cert{
        reinterpret_cast<unsigned char*>(const_cast<char*>(certificatePem.data())),
        static_cast<unsigned>(certificatePem.size())};
    const gnutls_datum_t key{reinterpret_cast<unsigned char*>(const_cast<char*>(keyPem.data())),
                             static_cast<unsigned>(keyPem.size())};
    const int result =
        gnutls_certificate_set_x509_key_mem(credentials, &cert, &key, GNUTLS_X509_FMT_PEM);
    gnutls_certificate_free_credentials(credentials);
    if (result >= 0) return {};
    if (result == GNUTLS_E_CERTIFICATE_KEY_MISMATCH)
        return "the key does not match the certificate";
    return gnutls_strerror(result);
}

// Whether `pem` holds at least one certificate: the reason when not.
std::string caProblem(const std::string& pem) {
    gnutls_x509_crt_t* list = nullptr;
    unsigned count = 0;
    const gnutls_datum_t data{reinterpret_cast<unsigned char*>(const_cast<char*>(pem.data())),
                              static_cast<unsigned>(pem.size())};
    const int result = gnutls_x509_crt_list_import2(&list, &count, &data, GNUTLS_X509_FMT_PEM, 0);
    if (result < 0) return gnutls_strerror(result);
    for (unsigned i = 0; i < count; ++i) gnutls_x509_crt_deinit(list[i]);
    gnutls_free(list);
    return count ? std::string() : "it holds no certificate";
}

// The headers an operator may set, as node_exporter allows them.
bool settableHeader(const std::string& name) {
    for (const char* allowed :
         {"Strict-Transport-Security", "X-Frame-Options", "X-Content-Type-Options",
          "X-XSS-Protection", "Content-Security-Policy"})
        if (strcasecmp(name.c_str(), allowed) == 0) return true;
    return false;
}

// A bcrypt hash as crypt() writes one: "$2y$" (or 2b, 2a), a cost of 04 to 31, a salt of 22
// characters and a digest of 31, whose last characters carry only the bits they can; crypt()
// itself must take the salt as written. Anything else could never match a password.
bool isBcrypt(const std::string& hash) {
    static constexpr std::string_view kAlphabet =
        "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    if (hash.size() != 60 || hash[0] != '$' || hash[1] != '2' ||
        (hash[2] != 'y' && hash[2] != 'b' && hash[2] != 'a') || hash[3] != '$' || hash[6] != '$')
        return false;
    if (hash[4] < '0' || hash[4] > '3' || hash[5] < '0' || hash[5] > '9') return false;
    const int cost = (hash[4] - '0') * 10 + (hash[5] - '0');
    if (cost < 4 || cost > 31) return false;
    for (std::size_t i = 7; i < 60; ++i)
        if (kAlphabet.find(hash[i]) == std::string_view::npos) return false;
    if (kAlphabet.find(hash[28]) % 16 != 0 || kAlphabet.find(hash[59]) % 4 != 0) return false;
    return true;
}

// Whether crypt() takes the hash's salt as written (it would answer "*0" or another salt).
bool cryptTakes(const std::string& hash) {
    auto data = std::make_unique<crypt_data>();
    // The cost is set to the least, so that the check is quick whatever the hash asks.
    const std::string setting = hash.substr(0, 4) + "04" + hash.substr(6, 23);
    const char* out = crypt_r("", setting.c_str(), data.get());
    return out && std::string_view(out).substr(0, 29) == setting;
}

}  // namespace

std::string tlsPriorities(const std::string& minVersion, const std::vector<std::string>& suites,
                          std::string& priorities) {
    std::string versions;
    if (minVersion.empty() || minVersion == "TLS12")
        versions = "+VERS-TLS1.3:+VERS-TLS1.2";
    else if (minVersion == "TLS13")
        versions = "+VERS-TLS1.3";
    else if (minVersion == "TLS10" || minVersion == "TLS11")
        return "min_version " + minVersion + " is not offered: TLS 1.0 and 1.1 are broken";
    else
        return "min_version takes TLS12 or TLS13, not " + minVersion;
    // Forward secrecy (ECDHE) and authenticated encryption only: no CBC, no SHA-1, no RSA key
    // exchange.
    std::vector<std::string> kx, ciphers;
    auto add = [](std::vector<std::string>& list, const std::string& item) {
        if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
    };
    if (suites.empty()) {
        kx = {"ECDHE-ECDSA", "ECDHE-RSA"};
        ciphers = {"AES-256-GCM", "CHACHA20-POLY1305", "AES-128-GCM"};
    }
    for (const auto& suite : suites) {
        const std::string ecdsa = "TLS_ECDHE_ECDSA_WITH_", rsa = "TLS_ECDHE_RSA_WITH_";
        std::string rest;
        if (suite.rfind(ecdsa, 0) == 0) {
            add(kx, "ECDHE-ECDSA");
            rest = suite.substr(ecdsa.size());
        } else if (suite.rfind(rsa, 0) == 0) {
            add(kx, "ECDHE-RSA");
            rest = suite.substr(rsa.size());
        }
        if (rest == "AES_128_GCM_SHA256")
            add(ciphers, "AES-128-GCM");
        else if (rest == "AES_256_GCM_SHA384")
            add(ciphers, "AES-256-GCM");
        else if (rest == "CHACHA20_POLY1305" || rest == "CHACHA20_POLY1305_SHA256")
            add(ciphers, "CHACHA20-POLY1305");
        else
            return "the cipher suite " + suite +
                   " is not offered: only ECDHE with AES-GCM or ChaCha20-Poly1305";
    }
    priorities = "SECURE128:-VERS-ALL:" + versions + ":-KX-ALL";
    for (const auto& k : kx) priorities += ":+" + k;
    priorities += ":-CIPHER-ALL";
    for (const auto& c : ciphers) priorities += ":+" + c;
    priorities += ":-MAC-ALL:+AEAD:%SERVER_PRECEDENCE";
    return {};
}

namespace {

// The client certificates asked for, and the authority that must have signed them.
std::string readClientAuth(const std::string& where, const std::string& clientAuth,
                           const std::string& clientCa, WebConfig& config) {
    using Auth = WebConfig::ClientAuth;
    if (clientAuth.empty() || clientAuth == "NoClientCert")
        config.clientAuth = Auth::None;
    else if (clientAuth == "VerifyClientCertIfGiven")
        config.clientAuth = Auth::VerifyIfGiven;
    else if (clientAuth == "RequireAndVerifyClientCert")
        config.clientAuth = Auth::RequireAndVerify;
    else if (clientAuth == "RequestClientCert" || clientAuth == "RequireAnyClientCert")
        return where + ": client_auth_type " + clientAuth +
               " is not offered: a certificate nobody checks proves nothing";
    else
        return where +
               ": client_auth_type takes NoClientCert, "
               "VerifyClientCertIfGiven or RequireAndVerifyClientCert";
    if (config.clientAuth != Auth::None && clientCa.empty())
        return where + ": client_auth_type " + clientAuth + " needs client_ca_file";
    return {};
}

// The certificate, its key and the client authority, each read whole and checked as the server
// would take it; a relative path is taken from the configuration's folder.
std::string readTlsFiles(const std::string& where, const std::string& path, const YAML::Node& tls,
                         const std::string& clientCa, WebConfig& config) {
    auto resolve = [&](const std::string& p) {
        return !p.empty() && p.front() == '/' ? p : folderOf(path) + p;
    };
    const std::string cert = resolve(tls["cert_file"].as<std::string>());
    const std::string keyFile = resolve(tls["key_file"].as<std::string>());
    // Anything short of a usable pair refuses to start: the service never falls back to clear
    // text with passwords on it.
    config.tls = true;
    if (auto why = readWhole(cert, config.certificatePem); !why.empty())
        return where + ": the certificate " + cert + " cannot be used: " + why;
    if (auto why = readWhole(keyFile, config.keyPem); !why.empty())
        return where + ": the key " + keyFile + " cannot be used: " + why;
    if (auto why = tlsProblem(config.certificatePem, config.keyPem); !why.empty())
        return where + ": the certificate " + cert + " and key " + keyFile +
               " cannot be used: " + why;
    if (!clientCa.empty()) {
        const std::string ca = resolve(clientCa);
        std::string why = readWhole(ca, config.clientCaPem);
        if (why.empty()) why = caProblem(config.clientCaPem);
        if (!why.empty()) return where + ": the client authority " + ca + " cannot be used: " + why;
    }
    return {};
}

std::string readTlsServerConfig(const std::string& where, const std::string& path,
                                const YAML::Node& tls, WebConfig& config) {
    if (!tls.IsMap() || !tls["cert_file"] || !tls["key_file"])
        return where + ": tls_server_config needs cert_file and key_file";
    std::string minVersion, clientAuth, clientCa;
    std::vector<std::string> suites;
    for (const auto& part : tls) {
        const std::string name = part.first.as<std::string>();
        if (name == "min_version")
            minVersion = part.second.as<std::string>();
        else if (name == "cipher_suites")
            suites = part.second.as<std::vector<std::string>>();
        else if (name == "client_auth_type")
            clientAuth = part.second.as<std::string>();
        else if (name == "client_ca_file")
            clientCa = part.second.as<std::string>();
        else if (name != "cert_file" && name != "key_file" && name != "prefer_server_cipher_suites")
            return where + ": unknown key tls_server_config." + name;
    }
    if (auto why = tlsPriorities(minVersion, suites, config.tlsPriorities); !why.empty())
        return where + ": " + why;
    if (auto why = readClientAuth(where, clientAuth, clientCa, config); !why.empty()) return why;
    return readTlsFiles(where, path, tls, clientCa, config);
}

std::string readBasicAuthUsers(const std::string& where, const YAML::Node& users,
                               WebConfig& config) {
    if (users.IsNull()) return {};
    if (!users.IsMap()) return where + ": basic_auth_users maps names to bcrypt hashes";
    for (const auto& user : users) {
        if (!user.first.IsScalar() || user.first.Scalar().empty() || user.first.IsNull())
            return where + ": basic_auth_users has a user without a name";
        const std::string name = user.first.as<std::string>();
        const std::string hash =
            user.second.IsScalar() ? user.second.as<std::string>() : std::string();
        if (!isBcrypt(hash) || !cryptTakes(hash))
            return where + ": the password of " + name + " is not a bcrypt hash";
        config.users[name] = hash;
    }
    return {};
}

std::string readHttpServerConfig(const std::string& where, const YAML::Node& http,
                                 WebConfig& config) {
    if (http.IsNull()) return {};
    if (!http.IsMap()) return where + ": http_server_config must hold a mapping";
    for (const auto& part : http) {
        const std::string name = part.first.as<std::string>();
        if (name == "headers") {
            if (!part.second.IsMap())
                return where + ": http_server_config.headers maps names to values";
            for (const auto& h : part.second) {
                const std::string header = h.first.as<std::string>();
                if (!settableHeader(header))
                    return where + ": the header " + header +
                           " cannot be set (only Strict-Transport-Security, "
                           "X-Frame-Options, X-Content-Type-Options, "
                           "X-XSS-Protection, Content-Security-Policy)";
                const std::string value = h.second.as<std::string>();
                if (value.find_first_of("\r\n") != std::string::npos)
                    return where + ": the header " + header + " spans lines";
                config.headers.emplace_back(header, value);
            }
        } else if (name == "allowed_hosts") {
            if (!part.second.IsSequence())
                return where + ": http_server_config.allowed_hosts lists names";
            for (const auto& h : part.second) config.hostNames.push_back(h.as<std::string>());
        } else if (name != "http2") {
            return where + ": unknown key http_server_config." + name;
        }
    }
    return {};
}

}  // namespace

std::string loadWebConfig(const std::string& path, WebConfig& config) {
    config = {};
    const std::string where = "the web configuration " + path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return where + " cannot be read: " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return where + " is not a file";
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return where + " may be read by others than its owner; make it private (chmod 600 " + path +
               ")";
    YAML::Node root;
    try {
        root = YAML::LoadFile(path);
    } catch (const YAML::Exception& e) {
        return where + " is not valid YAML: " + e.what();
    } catch (const std::exception& e) {
        return where + " cannot be read: " + e.what();
    }
    if (!root.IsDefined() || root.IsNull()) return {};
    if (!root.IsMap()) return where + " must hold a mapping";
    try {
        for (const auto& item : root) {
            const std::string key = item.first.as<std::string>();
            std::string why;
            if (key == "tls_server_config")
                why = readTlsServerConfig(where, path, item.second, config);
            else if (key == "basic_auth_users")
                why = readBasicAuthUsers(where, item.second, config);
            else if (key == "http_server_config")
                why = readHttpServerConfig(where, item.second, config);
            else
                return where + ": unknown key " + key;
            if (!why.empty()) return why;
        }
    } catch (const YAML::Exception& e) {
        return where + ": " + e.what();
    }
    return {};
}

bool passwordMatches(const std::string& hash, const std::string& password) {
    if (!isBcrypt(hash) || crypt_checksalt(hash.c_str()) == CRYPT_SALT_INVALID) return false;
    auto data = std::make_unique<crypt_data>();
    const char* out = crypt_r(password.c_str(), hash.c_str(), data.get());
    if (!out || out[0] == '*') return false;
    // Compared in full whatever differs first, so the time says nothing about the hash.
    const std::size_t n = std::strlen(out);
    if (n != hash.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < n; ++i) diff |= static_cast<unsigned char>(out[i] ^ hash[i]);
    return diff == 0;
}

}  // namespace nms::platform
