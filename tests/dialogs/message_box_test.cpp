#include "dialogs/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "dialogs/msg_dlg.h"

namespace {

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { CZPMessageScript::Reset(); }
    void TearDown() override { CZPMessageScript::Reset(); }
};

// Runs `act` on the message box once its modal loop runs.
void WhenBoxShows(std::function<void(CZPMsgDlg*)> act) {
    QTimer::singleShot(0, [act] {
        auto* box = qobject_cast<CZPMsgDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        act(box);
    });
}

}  // namespace

TEST_F(MessageBoxTest, QueuedAnswersAreGivenInOrderWithoutAWindow) {
    CZPMessageScript::QueueAnswers({kIdYes, kIdNo});
    CZPMessageScript::SetNextAnswer(kIdOk);
    EXPECT_EQ(CZPMessageScript::PendingAnswers(), 3);

    QWidget owner;
    EXPECT_EQ(ZPMessageBox(&owner, QStringLiteral("联系人信息已改变,是否保存?"), kMsgIconQuestion,
                           kMsgYesNo),
              kIdYes);
    EXPECT_EQ(ZPMessageBox(nullptr, QStringLiteral("账号信息已改变,是否保存?"), kMsgIconQuestion,
                           kMsgYesNo),
              kIdNo);
    EXPECT_EQ(ZPMessageBox(nullptr, QStringLiteral("联系人保存成功!"), kMsgIconSuccess, kMsgOk),
              kIdOk);
    EXPECT_EQ(CZPMessageScript::PendingAnswers(), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    const auto& shown = CZPMessageScript::Shown();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0].text, QStringLiteral("联系人信息已改变,是否保存?"));
    EXPECT_EQ(shown[0].icon, kMsgIconQuestion);
    EXPECT_EQ(shown[0].buttons, kMsgYesNo);
    EXPECT_EQ(shown[0].owner, &owner);
    EXPECT_TRUE(shown[0].scripted);
    EXPECT_EQ(shown[2].icon, kMsgIconSuccess);
    EXPECT_EQ(shown[2].result, kIdOk);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("联系人保存成功!"));
}

TEST_F(MessageBoxTest, AResponderAnswersWhatIsNotQueued) {
    CZPMessageScript::SetResponder(
        [](const SShownMessage& m) { return m.buttons == kMsgYesNo ? kIdNo : kIdOk; });
    CZPMessageScript::SetNextAnswer(kIdYes);  // a queued answer comes first
    EXPECT_EQ(ZPMessageBox(nullptr, QStringLiteral("a"), kMsgIconQuestion, kMsgYesNo), kIdYes);
    EXPECT_EQ(ZPMessageBox(nullptr, QStringLiteral("b"), kMsgIconQuestion, kMsgYesNo), kIdNo);
    EXPECT_EQ(ZPMessageBox(nullptr, QStringLiteral("c"), kMsgIconError, kMsgOk), kIdOk);
    EXPECT_EQ(CZPMessageScript::Shown().size(), 3);
}

TEST_F(MessageBoxTest, HeadlessAnswersAsIfTheBoxWereClosed) {
    CZPMessageScript::SetHeadless(true);
    EXPECT_EQ(ZPMessageBox(nullptr, QStringLiteral("请输入用户名"), kMsgIconNotice, kMsgOk),
              kIdCancel);
    ASSERT_TRUE(CZPMessageScript::LastShown().has_value());
    EXPECT_TRUE(CZPMessageScript::LastShown()->scripted);

    CZPMessageScript::Reset();
    EXPECT_FALSE(CZPMessageScript::IsHeadless());
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    EXPECT_FALSE(CZPMessageScript::LastShown().has_value());
}

TEST_F(MessageBoxTest, WithoutAScriptTheBoxIsShownModallyAndItsAnswerRecorded) {
    WhenBoxShows([](CZPMsgDlg* box) {
        EXPECT_EQ(box->Text(), QStringLiteral("是否离线登录?"));
        box->Buttons()[1]->click();  // 否
    });
    EXPECT_EQ(ZPMessageBox(nullptr, QStringLiteral("是否离线登录?"), kMsgIconQuestion, kMsgYesNo),
              kIdNo);
    ASSERT_EQ(CZPMessageScript::Shown().size(), 1);
    EXPECT_FALSE(CZPMessageScript::Shown()[0].scripted);
    EXPECT_EQ(CZPMessageScript::Shown()[0].result, kIdNo);
}

TEST_F(MessageBoxTest, TheCountdownEndsTheModalBoxWithNo) {
    WhenBoxShows([](CZPMsgDlg* box) {
        box->Buttons()[1]->click();  // 永久删除
        for (int i = 0; i < 5; ++i) box->CountdownTick();
    });
    EXPECT_EQ(
        ZPMessageBox(nullptr, QStringLiteral("请选择......"), kMsgIconQuestion, kMsgDeleteChoice),
        kIdNo);
}

TEST_F(MessageBoxTest, TheBoxIsCentredOverItsOwner) {
    QWidget owner;
    owner.setGeometry(200, 150, 700, 500);
    owner.show();
    QPoint centre;
    WhenBoxShows([&centre](CZPMsgDlg* box) {
        centre = box->geometry().center();
        box->CloseBox()->click();
    });
    EXPECT_EQ(ZPMessageBox(&owner, QStringLiteral("储存通讯录完成!"), kMsgIconSuccess, kMsgOk),
              kIdCancel);
    EXPECT_LE((centre - owner.frameGeometry().center()).manhattanLength(), 2);
}
