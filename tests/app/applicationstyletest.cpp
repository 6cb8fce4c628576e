// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/applicationstyle.h"

#include <QMenuBar>
#include <QPainter>
#include <QStyleFactory>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

QImage imageOf(const QIcon &icon, int side = 16)
{
    return icon.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
}

QIcon redSquare()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

} // namespace

TEST(DeferredIconTest, IsMadeOnceWhenFirstDrawnAndCopiesShareIt)
{
    int made = 0;
    QIcon icon(new DeferredIconEngine([&made] {
        ++made;
        return redSquare();
    }));
    QIcon copy = icon;
    EXPECT_EQ(made, 0) << "making or copying the icon must not make it";

    EXPECT_EQ(imageOf(icon), imageOf(redSquare()));
    EXPECT_EQ(made, 1);
    QImage canvas(16, 16, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    copy.paint(&painter, canvas.rect());
    painter.end();
    EXPECT_EQ(canvas.pixel(8, 8), QColor(Qt::red).rgba());
    EXPECT_EQ(made, 1) << "a copy shares the made icon";
    EXPECT_EQ(icon.actualSize(QSize(32, 32)), QSize(16, 16));
}

TEST(DeferredIconTest, AnIconWithNothingToMakeDrawsNothing)
{
    QIcon icon(new DeferredIconEngine([] { return QIcon(); }));
    EXPECT_TRUE(icon.pixmap(16, 16).isNull());
    EXPECT_TRUE(icon.availableSizes().isEmpty());
}

TEST(ApplicationStyleTest, MenuBarExtensionShowsTheDesktopStylesIconAndOtherIconsPassThrough)
{
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("fusion")));
    ApplicationStyle style(QStringLiteral("fusion"));

    QMenuBar bar;
    for (const char *title : { "ファイル", "画像", "ヘルプ", "いろいろ" })
        bar.addMenu(QString::fromUtf8(title));
    bar.setStyle(&style);
    bar.resize(40, 30);
    bar.show();
    auto *extension = bar.findChild<QToolButton *>(QStringLiteral("qt_menubar_ext_button"));
    ASSERT_NE(extension, nullptr);
    EXPECT_TRUE(extension->isVisible()) << "four menus cannot fit in 40 pixels";
    const QImage expected
        = imageOf(fusion->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton));
    ASSERT_FALSE(expected.isNull());
    EXPECT_EQ(imageOf(extension->icon()), expected);
    EXPECT_EQ(imageOf(style.standardIcon(QStyle::SP_ToolBarVerticalExtensionButton)),
        imageOf(fusion->standardIcon(QStyle::SP_ToolBarVerticalExtensionButton)));
    EXPECT_EQ(imageOf(style.standardIcon(QStyle::SP_DialogOkButton)),
        imageOf(fusion->standardIcon(QStyle::SP_DialogOkButton)));
    bar.setStyle(nullptr);
}
