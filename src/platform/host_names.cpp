#include "platform/host_names.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace nms::platform {

namespace {

std::string_view firstWord(std::string_view s) {
    const auto begin = s.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return {};
    s.remove_prefix(begin);
    return s.substr(0, s.find_first_of(" \t\r"));
}

}  // namespace

std::string localDomainName(std::string_view localDomainVariable, std::string_view resolvConf,
                            std::string_view hostName) {
    if (const auto word = firstWord(localDomainVariable); !word.empty()) return std::string(word);
    std::string_view found;
    while (!resolvConf.empty()) {
        const auto end = resolvConf.find('\n');
        std::string_view line = resolvConf.substr(0, end);
        resolvConf.remove_prefix(end == std::string_view::npos ? resolvConf.size() : end + 1);
        const auto keyword = firstWord(line);
        if (keyword != "domain" && keyword != "search") continue;
        line.remove_prefix(line.find(keyword) + keyword.size());
        // The keywords exclude each other; the last line of either wins.
        if (const auto word = firstWord(line); !word.empty()) found = word;
    }
    if (!found.empty()) return std::string(found);
    if (const auto dot = hostName.find('.'); dot != std::string_view::npos) return std::string(hostName.substr(dot + 1));
    return {};
}

std::string localDomainName() {
    const char* variable = std::getenv("LOCALDOMAIN");
    std::ostringstream conf;
    if (std::ifstream file{"/etc/resolv.conf"}) conf << file.rdbuf();
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    return localDomainName(variable ? variable : "", conf.str(), host);
}

}  // namespace nms::platform
