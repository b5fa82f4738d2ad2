// The contact editor's pages, the picture page's preview, and the SMS view, offscreen.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include "codecs/gbk_text.h"
#include "dialogs/add_users_dlg.h"
#include "dialogs/base_info_dlg.h"
#include "dialogs/field_limits.h"
#include "dialogs/image_info_dlg.h"
#include "dialogs/message_box.h"
#include "dialogs/message_dlg.h"
#include "dialogs/msg_dlg.h"
#include "dialogs/name_card_dlg.h"
#include "skin/skin_dialog.h"
#include "store/app_state.h"

using namespace kavo;

namespace {

class ContactEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppState().Reset();
        AppState().GroupNames = {"", Utf8ToGbk("家人"), "Work"};
        CZPMessageScript::Reset();
        CZPMessageScript::SetHeadless(true);
    }
    void TearDown() override {
        CZPMessageScript::Reset();
        AppState().Reset();
    }
    QTemporaryDir dir;
};

QString WriteImage(const QTemporaryDir& dir, const char* name, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString path = dir.filePath(QString::fromLatin1(name));
    image.save(path, "PNG");
    return path;
}

}  // namespace

TEST(PreviewRect, CentresASmallerImageAndFillsTheFrameWithALargerOne) {
    const QRect frame(10, 50, 200, 100);
    EXPECT_EQ(PreviewRect(frame, QSize(100, 40)), QRect(60, 80, 100, 40));
    EXPECT_EQ(PreviewRect(frame, QSize(400, 300)), frame);
    EXPECT_EQ(PreviewRect(frame, QSize(50, 300)), QRect(85, 50, 50, 100));
}

TEST_F(ContactEditorTest, FillingNeverMarksTheEditorButUserChangesDo) {
    CZPNameCardDlg card;
    CRelData rel;
    SetFieldUtf8(rel.RelName, "张三");
    SetField(rel.GroupName, "Work");
    SetField(rel.Birthday, "19850314");
    card.Fill(rel);
    EXPECT_FALSE(card.IsModified());
    EXPECT_EQ(card.BasePage()->GroupBox()->currentIndex(), 2);
    EXPECT_EQ(card.BasePage()->GroupBox()->itemText(0), QStringLiteral("全部"));
    EXPECT_EQ(card.BasePage()->YearBox()->currentText(), QStringLiteral("1985"));
    EXPECT_EQ(card.BasePage()->YearBox()->count(), 72);
    EXPECT_EQ(card.BasePage()->DayBox()->count(), 32);

    card.BasePage()->GroupBox()->setCurrentIndex(1);
    EXPECT_TRUE(card.IsModified());
    CRelData out;
    ASSERT_TRUE(card.Gather(out));
    EXPECT_EQ(FieldUtf8(out.GroupName), "家人");
    EXPECT_EQ(FieldText(out.Birthday), "19850314");

    // Typing a picture path is not an edit of the contact.
    card.SetModified(false);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(card.ImagePage()->PathEdit(), &key);
    EXPECT_EQ(card.ImagePage()->PathEdit()->text(), QStringLiteral("a"));
    EXPECT_FALSE(card.IsModified());
    // The remark counts, including a new line.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(card.BasePage()->TextEdit(QStringLiteral("RelRemark")), &enter);
    EXPECT_TRUE(card.IsModified());
}

TEST_F(ContactEditorTest, AnUnknownGroupShowsTheFirstAndSavingMovesTheContactThere) {
    CZPNameCardDlg card;
    CRelData rel;
    SetFieldUtf8(rel.RelName, "无组");
    SetField(rel.GroupName, "work");  // another letter case: not the group "Work"
    card.Fill(rel);
    EXPECT_EQ(card.BasePage()->GroupIndex(), 0);
    CRelData out;
    ASSERT_TRUE(card.Gather(out));
    EXPECT_EQ(FieldText(out.GroupName), "");
}

TEST_F(ContactEditorTest, ThePicturePageLoadsOnlyRealImagesAndCentresThePreview) {
    CZPNameCardDlg card;
    card.resize(500, 460);
    card.show();
    card.SelectPage(CZPNameCardDlg::kPagePicture);
    const QString small = WriteImage(dir, "small.png", QSize(40, 30));
    CRelData rel;
    SetFieldUtf8(rel.Picture, small.toStdString());
    card.Fill(rel);
    CZPImageInfoDlg* page = card.ImagePage();
    EXPECT_FALSE(page->Image().isNull());
    EXPECT_EQ(page->Preview()->size(), QSize(40, 30));
    const QRect preview = page->Preview()->geometry();
    const int frameLeft = page->BrowseButton()->geometry().left();
    const int frameRight = page->PathEdit()->geometry().right();
    EXPECT_LE(std::abs((preview.left() - frameLeft) - (frameRight - preview.right())), 1);
    EXPECT_FALSE(card.IsModified());

    // Not an image: nothing loads, the path stays, nothing is marked.
    const QString text = dir.filePath(QStringLiteral("note.txt"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    EXPECT_FALSE(page->ChoosePicture(text));
    EXPECT_TRUE(page->Image().isNull());
    EXPECT_EQ(page->PathEdit()->text(), small);
    EXPECT_FALSE(card.IsModified());

    const QString big = WriteImage(dir, "big.png", QSize(900, 900));
    EXPECT_TRUE(page->ChoosePicture(big));
    EXPECT_EQ(page->PathEdit()->text(), big);
    EXPECT_TRUE(card.IsModified());
    EXPECT_TRUE(CZPImageInfoDlg::ImageFilter().startsWith(QStringLiteral("All Image Files (")));

    // A missing file is shown as a path without a picture.
    SetFieldUtf8(rel.Picture, dir.filePath(QStringLiteral("gone.png")).toStdString());
    card.Fill(rel);
    EXPECT_TRUE(page->Image().isNull());
    card.hide();
}

TEST_F(ContactEditorTest, EnableControlsReachesEveryPage) {
    CZPNameCardDlg card;
    card.EnableControls(false);
    EXPECT_FALSE(card.BasePage()->LineEdit(QStringLiteral("RelName"))->isEnabled());
    EXPECT_FALSE(card.BasePage()->YearBox()->isEnabled());
    EXPECT_FALSE(card.ImagePage()->BrowseButton()->isEnabled());
    card.EnableControls(true);
    EXPECT_TRUE(card.ImagePage()->PathEdit()->isEnabled());
    EXPECT_TRUE(card.TabButton(2)->isEnabled());
}

TEST_F(ContactEditorTest, TheSmsViewShowsARecordClearsForAnEmptyOneAndSwallowsKeys) {
    CZPSkinDialog owner;
    auto* view = new CZPMessageDlg(&owner);
    CSmsData sms;
    SetFieldUtf8(sms.ContactName, "小明");
    SetField(sms.PhoneNumber, "13900000001");
    SetField(sms.SmsTime, "2026-01-01 08:00:00");
    SetFieldUtf8(sms.SmsText, "新年快乐");
    view->Fill(sms);
    EXPECT_EQ(view->SenderEdit()->text(), QStringLiteral("小明"));
    EXPECT_EQ(view->TextEdit()->toPlainText(), QStringLiteral("新年快乐"));
    EXPECT_TRUE(view->TextEdit()->isReadOnly());
    view->Fill(CSmsData());
    for (QLineEdit* e : {view->SenderEdit(), view->PhoneEdit(), view->TimeEdit()})
        EXPECT_TRUE(e->text().isEmpty());
    EXPECT_TRUE(view->TextEdit()->toPlainText().isEmpty());

    owner.show();
    for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(view, &press);
    }
    EXPECT_TRUE(owner.isVisible());
    owner.hide();
}

// In the frameless new-contact window, every drop-down list opens under its box, and a
// message box asked by the editor stands over the window, not in a corner of the screen.
TEST_F(ContactEditorTest, PopupsOfTheNewContactWindowOpenWhereTheyBelong) {
    // The window fills the screen, so no list has to be pushed back onto it.
    QWidget owner;
    owner.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    owner.show();
    CZPAddUsersDlg add(0, &owner);
    add.show();
    QCoreApplication::processEvents();
    const auto combos = add.findChildren<QComboBox*>();
    ASSERT_GE(combos.size(), 4);
    for (QComboBox* combo : combos) {
        combo->showPopup();
        QCoreApplication::processEvents();
        const QRect list = combo->view()->window()->geometry();
        const QPoint below = combo->mapToGlobal(QPoint(0, combo->height()));
        EXPECT_GE(list.top(), below.y() - 1) << combo->objectName().toStdString();
        EXPECT_NEAR(list.left(), below.x(), 2) << combo->objectName().toStdString();
        combo->hidePopup();
    }

    CZPMessageScript::Reset();  // a real box this time
    QRect box;
    QTimer::singleShot(0, &add, [&box] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* msg = qobject_cast<CZPMsgDlg*>(w); msg && msg->isVisible()) {
                box = msg->frameGeometry();
                msg->done(kIdOk);
            }
    });
    add.NameCard()->SaveCommand();  // an empty name: "请输入联系人姓名！"
    ASSERT_TRUE(box.isValid());
    EXPECT_LE((box.center() - add.frameGeometry().center()).manhattanLength(), 2);
}
