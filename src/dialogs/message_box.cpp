#include "dialogs/message_box.h"

#include <QApplication>
#include <cstdio>
#include <deque>

#include "dialogs/msg_dlg.h"

namespace {

struct SScriptState {
    std::deque<int> answers;
    std::function<int(const SShownMessage&)> responder;
    bool headless = false;
    QList<SShownMessage> shown;
};

SScriptState& State() {
    static SScriptState state;
    return state;
}

}  // namespace

int ZPMessageBox(QWidget* owner, const QString& text, int icon, int buttons) {
    SScriptState& state = State();
    SShownMessage message;
    message.text = text;
    message.icon = icon;
    message.buttons = buttons;
    message.owner = owner;

    if (!state.answers.empty()) {
        message.result = state.answers.front();
        state.answers.pop_front();
        message.scripted = true;
    } else if (state.responder) {
        // A copy: the responder may replace itself while it runs.
        auto responder = state.responder;
        message.result = responder(message);
        message.scripted = true;
    } else if (state.headless) {
        std::fprintf(stderr, "kavo: %s\n", text.toUtf8().constData());
        message.result = kIdCancel;
        message.scripted = true;
    }
    if (message.scripted) {
        state.shown.append(message);
        return message.result;
    }

    if (!owner) owner = QApplication::activeWindow();
    message.owner = owner;
    CZPMsgDlg dialog(text, icon, buttons, owner);
    message.result = dialog.exec();
    state.shown.append(message);
    return message.result;
}

void CZPMessageScript::SetNextAnswer(int result) { State().answers.push_back(result); }

void CZPMessageScript::QueueAnswers(std::initializer_list<int> results) {
    for (int r : results) State().answers.push_back(r);
}

int CZPMessageScript::PendingAnswers() { return int(State().answers.size()); }

void CZPMessageScript::SetResponder(std::function<int(const SShownMessage&)> responder) {
    State().responder = std::move(responder);
}

void CZPMessageScript::SetHeadless(bool headless) { State().headless = headless; }

bool CZPMessageScript::IsHeadless() { return State().headless; }

const QList<SShownMessage>& CZPMessageScript::Shown() { return State().shown; }

std::optional<SShownMessage> CZPMessageScript::LastShown() {
    if (State().shown.isEmpty()) return std::nullopt;
    return State().shown.last();
}

void CZPMessageScript::Reset() { State() = SScriptState{}; }
