#pragma once

#include <string_view>

namespace nms::web {

// The status page for a wall screen and a phone, one self-contained HTML file (status_page.html,
// compiled in).
std::string_view statusPage();

}  // namespace nms::web
