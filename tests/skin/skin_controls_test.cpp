#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QImage>
#include <QMenu>

#include "skin/busy_indicator.h"
#include "skin/notice_line.h"
#include "skin/skin_button.h"
#include "skin/skin_list_ctrl.h"
#include "skin/skin_theme.h"

TEST(SkinTheme, ChineseTextUsesACjkFont) {
    const QString family = CSkinTheme::FontFamily();
    if (QFontDatabase::families().contains(QStringLiteral("WenQuanYi Micro Hei"))) {
        EXPECT_EQ(family, QStringLiteral("WenQuanYi Micro Hei"));
    }
    EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
        << family.toStdString();
    EXPECT_EQ(QApplication::font().family(), family);
}

TEST(SkinTheme, TheStyleSheetHasEveryColourFilledIn) {
    const QString sheet = CSkinTheme::StyleSheet();
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_FALSE(sheet.contains(QLatin1Char('@')));
    EXPECT_TRUE(sheet.contains(CSkinTheme::Color(ESkinColor::kAccent).name()));
    EXPECT_EQ(qApp->styleSheet(), sheet);
}

TEST(SkinTheme, PicturesAreDrawnAtTheDevicePixelRatio) {
    for (const char* name : {"msg_success", "msg_question", "msg_notice", "msg_error", "app", "tray",
                             "close", "minimise", "check"}) {
        const QPixmap pixmap = CSkinTheme::Picture(QString::fromLatin1(name), QSize(20, 20), 2.0);
        ASSERT_FALSE(pixmap.isNull()) << name;
        EXPECT_EQ(pixmap.size(), QSize(40, 40)) << name;
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(20, 20)) << name;
        // Something is drawn, and not everywhere: a picture, not a filled square.
        const QImage image = pixmap.toImage();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        EXPECT_GT(opaque, 0) << name;
        EXPECT_LT(opaque, image.width() * image.height()) << name;
    }
    EXPECT_TRUE(CSkinTheme::Picture(QStringLiteral("no_such_picture"), QSize(20, 20)).isNull());
    EXPECT_TRUE(CSkinTheme::Icon(QStringLiteral("no_such_picture")).isNull());
}

TEST(SkinTheme, EveryPopupMenuGetsTheSkinnedLook) {
    QMenu menu;
    menu.addAction(QStringLiteral("储存通讯录"));
    menu.ensurePolished();
    EXPECT_TRUE(menu.property("skinMenu").toBool());
    EXPECT_TRUE(menu.windowFlags() & Qt::NoDropShadowWindowHint);
}

TEST(SkinButton, KindSelectsTheStyleSheetFace) {
    CZPSkinButton button(QStringLiteral("确定"), 1);
    button.SetKind(CZPSkinButton::EKind::kPrimary);
    EXPECT_EQ(button.property("skin").toString(), QStringLiteral("primary"));
    button.SetKind(CZPSkinButton::EKind::kClose);
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
}

TEST(SkinListCtrl, ReportsItsRowsAndCurrentRow) {
    CZPSkinListCtrl list;
    list.SetColumns({QStringLiteral("姓名"), QStringLiteral("电话"), QStringLiteral("手机")},
                    {80, 90});
    EXPECT_EQ(list.columnCount(), 3);
    EXPECT_EQ(list.columnWidth(0), 80);
    EXPECT_EQ(list.CurrentRow(), -1);
    list.AddRow({QStringLiteral("张三"), QString(), QStringLiteral("13800000001")});
    list.AddRow({QStringLiteral("李四"), QString(), QStringLiteral("13900000002")});
    list.setCurrentItem(list.topLevelItem(1));
    EXPECT_EQ(list.CurrentRow(), 1);
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST(BusyIndicator, TurnsOnlyWhileShown) {
    CZPBusyIndicator busy;
    EXPECT_FALSE(busy.IsRunning());
    busy.show();
    EXPECT_TRUE(busy.IsRunning());
    for (int i = 0; i < CZPBusyIndicator::kDots; ++i) busy.Advance();
    EXPECT_EQ(busy.Step(), 0);  // a full turn comes back to the start
    busy.hide();
    EXPECT_FALSE(busy.IsRunning());
}

TEST(NoticeLine, ScrollsLeftAndAsksForTheNextTextOnceGone) {
    CZPNoticeLine line;
    line.resize(100, 20);
    line.SetText(QStringLiteral("欢迎使用Tavrin-手机管家软件"));
    EXPECT_EQ(line.Offset(), 100);
    int asked = 0;
    QObject::connect(&line, &CZPNoticeLine::needNextText, [&] {
        ++asked;
        line.SetText(QStringLiteral("您当前处于离线登录状态!"));
    });
    line.Step();
    EXPECT_EQ(line.Offset(), 99);

    const int travel = 100 + line.fontMetrics().horizontalAdvance(line.Text());
    for (int i = 1; i < travel; ++i) line.Step();
    EXPECT_EQ(asked, 0);  // the last pixel of the text is still on the line
    line.Step();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(line.Text(), QStringLiteral("您当前处于离线登录状态!"));
    EXPECT_EQ(line.Offset(), 100);

    EXPECT_FALSE(line.IsRunning());
    line.show();
    EXPECT_TRUE(line.IsRunning());
}
