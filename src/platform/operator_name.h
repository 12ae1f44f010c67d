#pragma once

#include <string>

namespace nms::platform {

// Who sits at the station, for the journal's "who": the login name of the user running it
// (the account's name when the environment says none), "operator" when neither is known.
std::string operatorName();

}  // namespace nms::platform
