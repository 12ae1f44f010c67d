#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyle>

#include <memory>

#include "gui_support.h"
#include "ui/icons.h"

namespace nms::testing {
namespace {

TEST(Pictures, EveryPictureOfTheImageListIsDrawnAndTheyDiffer) {
    const QList<int> sizes{16, 24, 48};
    QImage sheet(8 + 9 * 56, 8 + sizes.size() * 56, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    std::vector<QImage> drawn;
    for (int picture = 1; picture <= ui::kPictureMore; ++picture) {
        const QIcon icon = ui::pictureIcon(picture);
        ASSERT_FALSE(icon.isNull()) << picture;
        for (int row = 0; row < sizes.size(); ++row) {
            const QPixmap pixmap = icon.pixmap(sizes[row]);
            EXPECT_EQ(pixmap.width(), sizes[row]) << picture;
            painter.drawPixmap(8 + (picture - 1) * 56, 8 + row * 56, pixmap);
        }
        const QImage image = icon.pixmap(24).toImage();
        // Something is drawn: not a blank square.
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
        EXPECT_GT(opaque, 24 * 24 / 8) << picture;
        for (const QImage& other : drawn) EXPECT_NE(image, other) << picture;
        drawn.push_back(image);
    }
    painter.end();
    EXPECT_TRUE(ui::pictureIcon(0).isNull());
    EXPECT_TRUE(ui::pictureIcon(ui::kPictureMore + 1).isNull());
    sheet.save(screenshotPath("pictures.png"));
}

TEST(Pictures, EachSizeAndStateIsDrawnWhenAskedForAndStaysTheSame) {
    const QIcon icon = ui::pictureIcon(6);
    ASSERT_FALSE(icon.isNull());
    // The sizes an image list offers.
    EXPECT_TRUE(icon.availableSizes().contains(QSize(20, 20)));
    EXPECT_EQ(icon.actualSize(QSize(20, 20)), QSize(20, 20));
    const QImage normal = icon.pixmap(20).toImage();
    EXPECT_EQ(icon.pixmap(20).toImage(), normal) << "drawn once, then the same";
    const QImage disabled = icon.pixmap(QSize(20, 20), QIcon::Disabled).toImage();
    EXPECT_EQ(disabled.size(), QSize(20, 20));
    EXPECT_NE(disabled, normal) << "a disabled button shows its picture greyed";
    // A copy of the icon draws the same picture.
    const QIcon copy = icon;
    EXPECT_EQ(copy.pixmap(20).toImage(), normal);
    QPixmap canvas(40, 40);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    icon.paint(&painter, QRect(10, 10, 20, 20));
    painter.end();
    EXPECT_NE(canvas.toImage().pixel(20, 20), QColor(Qt::white).rgb());
}

// The toolbar's overflow arrows come from the station's pictures, not from the style's image
// files; every other stock picture is the style's own.
TEST(Pictures, TheStationStyleDrawsTheToolbarArrowsItselfAndLeavesTheRestToItsBase) {
    std::unique_ptr<QStyle> style(ui::stationStyle());
    const QIcon right = style->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    const QIcon down = style->standardIcon(QStyle::SP_ToolBarVerticalExtensionButton);
    ASSERT_FALSE(right.isNull());
    ASSERT_FALSE(down.isNull());
    EXPECT_EQ(right.pixmap(24).toImage(), ui::pictureIcon(ui::kPictureMore).pixmap(24).toImage());
    EXPECT_NE(down.pixmap(24).toImage(), right.pixmap(24).toImage());
    EXPECT_FALSE(style->standardIcon(QStyle::SP_MessageBoxWarning).isNull());
    auto* proxy = qobject_cast<QProxyStyle*>(style.get());
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(proxy->baseStyle()->name(), QApplication::style()->name());
}

}  // namespace
}  // namespace nms::testing
