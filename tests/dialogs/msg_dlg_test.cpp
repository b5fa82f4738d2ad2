#include "dialogs/msg_dlg.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <vector>

#include "dialogs/message_box.h"
#include "skin/skin_theme.h"

namespace {

struct SButtonFace {
    const char* caption;
    int code;
};

struct SButtonSet {
    int set;
    std::vector<SButtonFace> buttons;
};

const std::vector<SButtonSet>& ButtonSets() {
    static const std::vector<SButtonSet> sets = {
        {kMsgOk, {{"确定", kIdOk}}},
        {kMsgOkCancel, {{"确定", kIdOk}, {"取消", kIdCancel}}},
        {kMsgYes, {{"是", kIdYes}}},
        {kMsgYesNo, {{"是", kIdYes}, {"否", kIdNo}}},
        {kMsgYesNoCancel, {{"是", kIdYes}, {"否", kIdNo}, {"取消", kIdCancel}}},
        {kMsgDeleteChoice,
         {{"删除", kIdYes}, {"永久删除", CZPMsgDlg::kCodeDeleteForever}, {"取消", kIdCancel}}},
        {kMsgDeleteCancel, {{"删除", kIdYes}, {"取消", kIdCancel}}},
    };
    return sets;
}

const QString kCountdown5 = QStringLiteral("请选择，5秒后将自动永久删除!");

}  // namespace

TEST(MsgDlg, EachButtonSetShowsItsButtonsAndEachButtonGivesItsResult) {
    for (const SButtonSet& expected : ButtonSets()) {
        SCOPED_TRACE(expected.set);
        for (size_t pressed = 0; pressed < expected.buttons.size(); ++pressed) {
            CZPMsgDlg box(QStringLiteral("请选择......"), kMsgIconQuestion, expected.set);
            ASSERT_EQ(box.Buttons().size(), qsizetype(expected.buttons.size()));
            for (size_t i = 0; i < expected.buttons.size(); ++i) {
                EXPECT_EQ(box.Buttons()[i]->text(), QString::fromUtf8(expected.buttons[i].caption));
                EXPECT_EQ(box.Buttons()[i]->Code(), expected.buttons[i].code);
            }
            box.show();
            box.Buttons()[pressed]->click();
            if (expected.buttons[pressed].code == CZPMsgDlg::kCodeDeleteForever) {
                EXPECT_TRUE(box.isVisible());  // it counts down instead of answering
                EXPECT_TRUE(box.IsCountingDown());
            } else {
                EXPECT_FALSE(box.isVisible());
                EXPECT_EQ(box.result(), expected.buttons[pressed].code);
            }
        }
    }
}

TEST(MsgDlg, TheCloseBoxAndEscapeGiveCancelInEverySet) {
    for (int set = 0; set <= 6; ++set) {
        SCOPED_TRACE(set);
        CZPMsgDlg box(QStringLiteral("储存通讯录完成!"), kMsgIconSuccess, set);
        box.show();
        ASSERT_TRUE(box.CloseBox()->isVisible());
        box.CloseBox()->click();
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(box.result(), kIdCancel);

        CZPMsgDlg escaped(QStringLiteral("储存通讯录完成!"), kMsgIconSuccess, set);
        escaped.show();
        escaped.reject();  // what Escape and closing the window do
        EXPECT_EQ(escaped.result(), kIdCancel);
    }
}

TEST(MsgDlg, AnUnknownButtonSetStillOffersOk) {
    CZPMsgDlg box(QStringLiteral("x"), 9, 42);
    ASSERT_EQ(box.Buttons().size(), 1);
    EXPECT_EQ(box.Buttons()[0]->Code(), kIdOk);
}

TEST(MsgDlg, ButtonsStandInOneCentredRow) {
    for (const SButtonSet& expected : ButtonSets()) {
        SCOPED_TRACE(expected.set);
        CZPMsgDlg box(QStringLiteral("请选择......"), kMsgIconQuestion, expected.set);
        const auto& buttons = box.Buttons();
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            EXPECT_EQ(buttons[i]->size(), QSize(69, 27));
            EXPECT_EQ(buttons[i]->y(), 150);
            if (i > 0) {
                EXPECT_EQ(buttons[i]->x() - buttons[i - 1]->x(), 79);
            }
        }
        const int left = buttons.first()->x();
        const int right = box.width() - (buttons.last()->x() + buttons.last()->width());
        EXPECT_LE(qAbs(left - right), 1);
        EXPECT_GE(box.height(), 150 + 27);
    }
}

TEST(MsgDlg, ALongTextStaysOneLineAndWidensTheBox) {
    const QString text = QStringLiteral(
        "网络连接失败，请检查网络设置后重试。是否离线登录? 离线登录后只能使用本机保存的联系人");
    CZPMsgDlg box(text, kMsgIconError, kMsgYesNo);
    const QFontMetrics metrics(CSkinTheme::UiFont(13));
    EXPECT_GT(box.width(), CZPMsgDlg::kMinWidth);
    EXPECT_GE(box.TextRect().width(), metrics.horizontalAdvance(text));
    EXPECT_LE(box.TextRect().height(), metrics.height() * 2 - 1);  // room for one line only

    CZPMsgDlg shortBox(QStringLiteral("请输入密码"), kMsgIconNotice, kMsgOk);
    EXPECT_EQ(shortBox.width(), CZPMsgDlg::kMinWidth);
}

TEST(MsgDlg, DeletePermanentlyCountsDownFromFiveAndClosesWithNo) {
    CZPMsgDlg box(QStringLiteral("请选择......"), kMsgIconQuestion, kMsgDeleteChoice);
    box.show();
    box.OnSkinButton(CZPMsgDlg::kCodeDeleteForever);
    EXPECT_EQ(box.Text(), kCountdown5);
    EXPECT_TRUE(box.IsCountingDown());
    EXPECT_EQ(box.CountdownTimer().interval(), 1000);

    for (int shown = 4; shown >= 1; --shown) {
        box.CountdownTick();
        EXPECT_EQ(box.Text(), QStringLiteral("请选择，%1秒后将自动永久删除!").arg(shown));
        EXPECT_TRUE(box.isVisible());
    }
    box.CountdownTick();  // the fifth second after the press
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), kIdNo);
    EXPECT_FALSE(box.IsCountingDown());
}

TEST(MsgDlg, PressingDeletePermanentlyAgainStartsAfresh) {
    CZPMsgDlg box(QStringLiteral("请选择......"), kMsgIconQuestion, kMsgDeleteChoice);
    box.show();
    box.OnSkinButton(CZPMsgDlg::kCodeDeleteForever);
    box.CountdownTick();
    box.CountdownTick();
    box.OnSkinButton(CZPMsgDlg::kCodeDeleteForever);
    box.CountdownTick();
    box.OnSkinButton(CZPMsgDlg::kCodeDeleteForever);  // third press: five seconds from here
    EXPECT_EQ(box.Text(), kCountdown5);
    for (int i = 0; i < 4; ++i) box.CountdownTick();
    EXPECT_TRUE(box.isVisible());
    box.CountdownTick();
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), kIdNo);
}

TEST(MsgDlg, AnswersDuringTheCountdownEndItAtOnce) {
    struct SCase {
        int pressed;
        int result;
    };
    for (const SCase c : {SCase{kIdYes, kIdYes}, SCase{kIdCancel, kIdCancel}}) {
        CZPMsgDlg box(QStringLiteral("请选择......"), kMsgIconQuestion, kMsgDeleteChoice);
        box.show();
        box.OnSkinButton(CZPMsgDlg::kCodeDeleteForever);
        box.CountdownTick();
        const int index = c.pressed == kIdYes ? 0 : 2;
        box.Buttons()[index]->click();
        EXPECT_EQ(box.result(), c.result);
        EXPECT_FALSE(box.IsCountingDown());
    }

    // The close box during the countdown cancels: nothing is deleted.
    CZPMsgDlg box(QStringLiteral("请选择......"), kMsgIconQuestion, kMsgDeleteChoice);
    box.show();
    box.OnSkinButton(CZPMsgDlg::kCodeDeleteForever);
    box.CloseBox()->click();
    EXPECT_EQ(box.result(), kIdCancel);
    EXPECT_FALSE(box.IsCountingDown());
    box.CountdownTick();  // a tick that was already queued changes nothing
    EXPECT_EQ(box.result(), kIdCancel);
}

TEST(MsgDlg, EnterNeverDeletes) {
    CZPMsgDlg ask(QStringLiteral("联系人信息已改变,是否保存?"), kMsgIconQuestion, kMsgYesNo);
    EXPECT_TRUE(ask.Buttons().first()->isDefault());
    for (int set : {kMsgDeleteChoice, kMsgDeleteCancel}) {
        CZPMsgDlg box(QStringLiteral("请选择......"), kMsgIconQuestion, set);
        EXPECT_TRUE(box.Buttons().last()->isDefault());
        EXPECT_EQ(box.Buttons().last()->Code(), kIdCancel);
    }
}
