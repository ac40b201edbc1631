// A UiHost for tests: records every message, beep and link opened, answers from a script,
// and lets the test drive each dialog through a callback.
#pragma once

#include <QDialog>
#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "ui/uihost.h"

class ScriptedUiHost final : public barwise::UiHost {
public:
    struct Message {
        QString text;
        Buttons buttons;
        Icon icon;
    };

    Answer messageBox(const QString& text, Buttons buttons, Icon icon) override {
        messages.push_back({text, buttons, icon});
        if (!answers.empty()) {
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes;
    }
    // Without a callback every dialog is cancelled.
    bool runDialog(QDialog& dialog) override {
        dialogs.push_back(dialog.windowTitle());
        return onDialog ? onDialog(dialog) : false;
    }
    QString saveFileName(const QString&, const QString&, const QString&, int) override {
        return saveAnswer;
    }
    QStringList openFileNames(const QString&, const QString&) override { return openAnswer; }
    void beep(Beep kind) override { beeps.push_back(kind); }
    bool openWithShell(const QString& text) override {
        opened.push_back(text);
        return openResult;
    }
    void beginWaitCursor() override { ++waitDepth; }
    void endWaitCursor() override { --waitDepth; }

    QStringList messageTexts() const {
        QStringList out;
        for (const Message& m : messages) out << m.text;
        return out;
    }
    int countBeeps(Beep kind) const {
        int n = 0;
        for (Beep b : beeps) n += b == kind;
        return n;
    }

    std::vector<Message> messages;
    std::deque<Answer> answers;
    std::function<bool(QDialog&)> onDialog;
    std::vector<QString> dialogs;
    std::vector<Beep> beeps;
    std::vector<QString> opened;
    bool openResult = true;
    QString saveAnswer;
    QStringList openAnswer;  // what the open-file dialog returns
    int waitDepth = 0;
};
