#include "skin/skin_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QVBoxLayout>

#include "skin/skin_panel.h"

namespace {

// A window that notes the codes it receives and otherwise behaves like the base.
class CRecordingDialog : public CZPSkinDialog {
public:
    using CZPSkinDialog::CZPSkinDialog;
    QList<int> codes;
    void OnSkinButton(int code) override {
        codes.append(code);
        CZPSkinDialog::OnSkinButton(code);
    }
};

void SendMouse(QWidget* target, QEvent::Type type, const QPoint& local, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    const QPointF global = QPointF(target->mapToGlobal(local));
    QMouseEvent event(type, QPointF(local), QPointF(local), global, button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses at `at`, moves by `by` with the button held, and releases, all in target's
// coordinates as they were at the press.
void Drag(QWidget* target, const QPoint& at, const QPoint& by, Qt::MouseButton button) {
    const QPoint pressGlobal = target->mapToGlobal(at);
    SendMouse(target, QEvent::MouseButtonPress, at, button, button);
    // The window moves under the pointer, so the move is given in global terms.
    const QPoint local = target->mapFromGlobal(pressGlobal + by);
    SendMouse(target, QEvent::MouseMove, local, Qt::NoButton, button);
    SendMouse(target, QEvent::MouseButtonRelease, target->mapFromGlobal(pressGlobal + by), button,
              Qt::NoButton);
}

}  // namespace

TEST(SkinDialog, IsFramelessAndCarriesTheCaption) {
    CZPSkinDialog window;
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tavrin-手机管家"));
}

TEST(SkinDialog, DraggingTheBodyWithTheLeftButtonMovesTheWindow) {
    CZPSkinDialog window;
    window.resize(300, 200);
    window.move(100, 100);
    window.show();
    const QPoint start = window.pos();

    Drag(&window, QPoint(150, 120), QPoint(40, 25), Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(40, 25));

    // A second drag goes on from where the first ended.
    Drag(&window, QPoint(20, 10), QPoint(-70, 5), Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(-30, 30));

    // The right button drags nothing.
    Drag(&window, QPoint(150, 120), QPoint(40, 25), Qt::RightButton);
    EXPECT_EQ(window.pos(), start + QPoint(-30, 30));
}

TEST(SkinDialog, AMoveAfterTheReleaseDoesNotDrag) {
    CZPSkinDialog window;
    window.resize(300, 200);
    window.move(50, 60);
    window.show();
    const QPoint start = window.pos();
    SendMouse(&window, QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
    SendMouse(&window, QEvent::MouseButtonRelease, QPoint(100, 100), Qt::LeftButton, Qt::NoButton);
    SendMouse(&window, QEvent::MouseMove, QPoint(160, 160), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(window.pos(), start);
}

TEST(SkinDialog, CaptionBoxesReportTheWindowsCodes) {
    CRecordingDialog window;
    window.resize(300, 200);
    window.SetCaptionCodes(2, 4);
    window.show();

    window.MinimiseBox()->click();
    EXPECT_EQ(window.codes, QList<int>{2});

    window.CloseBox()->click();
    EXPECT_EQ(window.codes, (QList<int>{2, 4}));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
}

TEST(SkinDialog, CaptionBoxesSitInTheTopRightCorner) {
    CZPSkinDialog window;
    window.resize(400, 250);
    window.show();
    EXPECT_EQ(window.CloseBox()->geometry().right(), window.width() - 2);
    EXPECT_EQ(window.CloseBox()->y(), 1);
    EXPECT_LT(window.MinimiseBox()->geometry().right(), window.CloseBox()->x());
    EXPECT_TRUE(window.BodyRect().top() >= window.TitleHeight());
}

TEST(SkinButton, ReportsItsCodeToTheNearestSinkAbove) {
    CRecordingDialog window;
    auto* plain = new QWidget(&window);  // not a sink: the code goes past it
    auto* button = new CZPSkinButton(QStringLiteral("登录"), 0, plain);
    auto* panel = new CZPSkinPanel(&window);  // a sink that hands codes on
    auto* inPanel = new CZPSkinButton(QStringLiteral("保存"), 22, panel);
    auto* noCode = new CZPSkinButton(&window);

    QList<int> emitted;
    QObject::connect(button, &CZPSkinButton::codeClicked, [&](int code) { emitted.append(code); });

    button->click();
    inPanel->click();
    noCode->click();
    EXPECT_EQ(window.codes, (QList<int>{0, 22}));
    EXPECT_EQ(emitted, QList<int>{0});
}

TEST(SkinButton, ASinkMayDestroyTheButtonsWindow) {
    auto* window = new CRecordingDialog;
    QPointer<CRecordingDialog> guard(window);
    auto* button = new CZPSkinButton(QStringLiteral("关闭"), 9, window);
    QObject::connect(button, &CZPSkinButton::codeClicked, [window](int) { delete window; });
    button->click();  // must not touch the deleted button or window afterwards
    EXPECT_TRUE(guard.isNull());
}

TEST(SkinDialog, LayoutsStayBelowTheTitleBar) {
    CZPSkinDialog window;
    window.resize(300, 200);
    EXPECT_EQ(window.contentsRect().top(), window.TitleHeight());
    window.SetTitleHeight(54);
    EXPECT_EQ(window.contentsRect().top(), 54);
    EXPECT_EQ(window.BodyRect().top(), 54);
}

TEST(SkinDialog, TheMaximiseBoxTogglesAndSitsBetweenTheOthers) {
    CRecordingDialog window;
    window.resize(500, 300);
    window.SetMaximiseBoxVisible(true);
    window.show();
    EXPECT_LT(window.MinimiseBox()->x(), window.MaximiseBox()->x());
    EXPECT_LT(window.MaximiseBox()->x(), window.CloseBox()->x());

    window.MaximiseBox()->click();
    EXPECT_TRUE(window.isMaximized());
    EXPECT_EQ(window.codes.last(), CZPSkinDialog::kDefaultMaximiseCode);
    window.MaximiseBox()->click();
    EXPECT_FALSE(window.isMaximized());
}
