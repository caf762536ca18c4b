#pragma once

#include "windows/dialogs.h"

#include <QList>

// Answers the program's message boxes and input dialogs in a test, in the
// order they come, and keeps what each one asked. A dialog with no answer
// left is answered as if cancelled.
class DialogScript
{
public:
    DialogScript()
    {
        Dialogs::setResponder([this](const Dialogs::Request &request) {
            shown << request;
            return answers.isEmpty() ? Dialogs::Answer() : answers.takeFirst();
        });
    }
    ~DialogScript() { Dialogs::setResponder({}); }
    DialogScript(const DialogScript &) = delete;
    DialogScript &operator=(const DialogScript &) = delete;

    void button(QMessageBox::StandardButton b) { answers << Dialogs::Answer{b, false, QString()}; }
    void text(const QString &t) { answers << Dialogs::Answer{QMessageBox::NoButton, true, t}; }
    void cancel() { answers << Dialogs::Answer(); }

    // "Title: text" of each dialog shown, for comparing in one go.
    QStringList titles() const
    {
        QStringList list;
        for (const Dialogs::Request &r : shown)
            list << r.title + QStringLiteral(": ") + r.text;
        return list;
    }

    QList<Dialogs::Request> shown;
    QList<Dialogs::Answer> answers;
};
