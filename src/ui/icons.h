#pragma once

#include <QIcon>

class QPalette;
class QStyle;

namespace nms::ui {

// The pictures of the main window's image list, by their number: 1 discover, 2 refresh, 3 save,
// 4 start and 5 stop audio monitoring (the toolbar), 6 encoder and 7 decoder (the tree), and the
// window's own 8 (kPicturePlant, the plant monitor's toggle) and 9 (kPictureMore, the toolbar's
// overflow arrow). Any other number gives an empty icon. The icon follows the application's palette: it is drawn
// anew, in its dark-theme colours, when the palette's window colour is dark.
QIcon pictureIcon(int picture);
inline constexpr int kPicturePlant = 8;
inline constexpr int kPictureMore = 9;  // the toolbar's overflow arrow (stationStyle)

// True when pictures drawn on this palette use their colours for a dark background.
bool darkPalette(const QPalette& palette);

// The picture as drawn on this palette, whatever the application's palette is.
QPixmap picturePixmap(int picture, int size, const QPalette& palette);

// The application's own style wrapped so that its stock pictures that come from image files are
// drawn from the station's pictures instead. For QApplication::setStyle, which takes ownership.
QStyle* stationStyle();

}  // namespace nms::ui
