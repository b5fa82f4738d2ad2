#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

// Icon kinds of the message box.
enum EMsgIcon : int {
    kMsgIconSuccess = 0,   // completed actions
    kMsgIconQuestion = 1,  // every question
    kMsgIconNotice = 2,    // search results and hints
    kMsgIconError = 3,     // refusals and failures
};

// Button sets of the message box, buttons from left to right.
enum EMsgButtons : int {
    kMsgOk = 0,            // OK
    kMsgOkCancel = 1,      // OK, Cancel
    kMsgYes = 2,           // Yes
    kMsgYesNo = 3,         // Yes, No
    kMsgYesNoCancel = 4,   // Yes, No, Cancel
    kMsgDeleteChoice = 5,  // Delete (Yes), Delete permanently (countdown to No), Cancel
    kMsgDeleteCancel = 6,  // Delete (Yes), Cancel
};

// Results of the message box: the platform's dialog result codes.
enum EMsgResult : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdYes = 6,
    kIdNo = 7,
};

// Tells or asks the user something: shows the message box modally over owner (the active
// window when owner is null) and returns the result of the button that closed it. The close
// box gives kIdCancel in every button set.
int ZPMessageBox(QWidget* owner, const QString& text, int icon, int buttons);

// One message that ZPMessageBox was asked to show.
struct SShownMessage {
    QString text;
    int icon = 0;
    int buttons = 0;
    QPointer<QWidget> owner;
    int result = 0;
    bool scripted = false;  // answered from the script; no window was shown
};

// The scripting seam of the message box. Tests queue the next answers and read back every
// message shown; a program without a user (the offscreen platform) turns on headless mode.
// Everything here is used on the user-interface thread only.
class CZPMessageScript {
public:
    // Queues the answer the next message box gives without showing a window.
    static void SetNextAnswer(int result);
    static void QueueAnswers(std::initializer_list<int> results);
    static int PendingAnswers();

    // Answers every message that has no queued answer, without a window. The responder sees
    // the message and returns its result. An empty function removes it.
    static void SetResponder(std::function<int(const SShownMessage&)> responder);

    // With no queued answer and no responder: when headless, the message is written to
    // standard error and answered as if its close box had been pressed (kIdCancel), instead
    // of waiting for a user who is not there.
    static void SetHeadless(bool headless);
    static bool IsHeadless();

    // Every message since the last Reset, in order.
    static const QList<SShownMessage>& Shown();
    static std::optional<SShownMessage> LastShown();

    // Forgets the shown messages, the queued answers, the responder and headless mode.
    static void Reset();
};
