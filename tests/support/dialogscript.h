#pragma once

#include "windows/dialogs.h"

#include <QList>
#include <QMap>

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
    // Answers written as "Yes", "No", "Save", "Cancel", "=text" (text
    // confirmed) or "-" (input cancelled).
    void answer(const QStringList &list)
    {
        const QMap<QString, QMessageBox::StandardButton> buttons{{"Yes", QMessageBox::Yes},
                                                                 {"No", QMessageBox::No},
                                                                 {"Save", QMessageBox::Save},
                                                                 {"Cancel", QMessageBox::Cancel}};
        for (const QString &a : list) {
            if (a.startsWith('='))
                text(a.mid(1));
            else if (a == "-")
                cancel();
            else
                button(buttons.value(a));
        }
    }

    // "Title: text" of each dialog shown, for comparing in one go.
    QStringList titles() const
    {
        QStringList list;
        for (const Dialogs::Request &r : shown)
            list << r.title + QStringLiteral(": ") + r.text;
        return list;
    }
    // The same, with an input dialog's default text in brackets.
    QStringList asked() const
    {
        QStringList list;
        for (const Dialogs::Request &r : shown)
            list << r.title + ": " + r.text + (r.defaultText.isEmpty() ? "" : " [" + r.defaultText + "]");
        return list;
    }

    QList<Dialogs::Request> shown;
    QList<Dialogs::Answer> answers;
};
