#include "platform/operator_name.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace nms::platform {

std::string operatorName() {
    for (const char* variable : {"USER", "LOGNAME"}) {
        const char* v = std::getenv(variable);
        if (v && *v) return v;
    }
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name && *pw->pw_name)
        return pw->pw_name;
    return "operator";
}

}  // namespace nms::platform
