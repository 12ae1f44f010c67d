#pragma once

#include <string>
#include <string_view>

namespace nms::platform {

// The machine's DNS domain as its resolver takes it, without asking the network: LOCALDOMAIN
// when set, else the last `domain` or `search` line of resolv.conf (a search list's first name),
// else what follows the first dot of the host name; empty when none of them gives one.
std::string localDomainName();
// The same from the texts, for a check without the machine's files.
std::string localDomainName(std::string_view localDomainVariable, std::string_view resolvConf,
                            std::string_view hostName);

}  // namespace nms::platform
