#pragma once

#include <QIcon>

namespace nms::ui {

// The pictures of the main window's image list, by their number: 1 discover, 2 refresh, 3 save,
// 4 start and 5 stop audio monitoring (the toolbar), 6 encoder and 7 decoder (the tree).
// Any other number gives an empty icon.
QIcon pictureIcon(int picture);

}  // namespace nms::ui
