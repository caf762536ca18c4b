#pragma once

#include <QApplication>
#include <QPushButton>
#include <QInputDialog>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the program's real message boxes and input dialogs while their own
// modal event loops run, as a user would, in the order they come, and keeps
// what each one asked. Answers are written as "Ok", "Yes", "No", "Save",
// "Cancel", "=text" (typed and confirmed) or "-" (input cancelled); a box with
// no answer left is cancelled (its escape button, or the input rejected).
class DialogScript : public QObject
{
public:
    struct Shown
    {
        enum Kind { Warning, Question, Input };
        Kind kind = Warning;
        QString title;
        QString text; // the message, or the input dialog's label
        QString defaultText; // input dialogs
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    DialogScript()
    {
        allowEventLoops();
        connect(&poll, &QTimer::timeout, this, &DialogScript::check);
        poll.start(5);
    }

    void button(QMessageBox::StandardButton b) { answers << buttonNames().key(b); }
    void text(const QString &t) { answers << QLatin1Char('=') + t; }
    void cancel() { answers << QStringLiteral("-"); }
    void answer(const QStringList &list) { answers << list; }

    // "Title: text" of each dialog shown, for comparing in one go.
    QStringList titles() const
    {
        QStringList list;
        for (const Shown &s : shown)
            list << s.title + QStringLiteral(": ") + s.text;
        return list;
    }
    // The same, with an input dialog's default text in brackets.
    QStringList asked() const
    {
        QStringList list;
        for (const Shown &s : shown)
            list << s.title + ": " + s.text + (s.defaultText.isEmpty() ? "" : " [" + s.defaultText + "]");
        return list;
    }

    QList<Shown> shown;
    QStringList answers;
    // Runs once for each dialog while it is open; the answer comes holdMs
    // later, the dialog's own loop running meanwhile.
    std::function<void()> whileOpen;
    int holdMs = 0;
    int answered = 0;

    // A destroyed MainWindow ends the event loop, after which every new loop
    // (a modal box's too) returns at once; a short run of the application's
    // own loop starts afresh, as a new process would.
    static void allowEventLoops()
    {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

private:
    static QMap<QString, QMessageBox::StandardButton> buttonNames()
    {
        return {{"Ok", QMessageBox::Ok},
                {"Yes", QMessageBox::Yes},
                {"No", QMessageBox::No},
                {"Save", QMessageBox::Save},
                {"Cancel", QMessageBox::Cancel}};
    }

    void check()
    {
        QWidget *modal = QApplication::activeModalWidget();
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *input = qobject_cast<QInputDialog *>(modal);
        if ((!box && !input) || modal == handled || !modal->isVisible())
            return;
        handled = modal;
        Shown s;
        s.title = modal->windowTitle();
        if (input) {
            s.kind = Shown::Input;
            s.text = input->labelText();
            s.defaultText = input->textValue();
        } else {
            s.kind = box->icon() == QMessageBox::Question ? Shown::Question : Shown::Warning;
            s.text = box->text();
            s.buttons = box->standardButtons();
            s.defaultButton = box->standardButton(box->defaultButton());
        }
        shown << s;
        if (whileOpen)
            whileOpen();
        const QString answer = answers.isEmpty() ? QStringLiteral("-") : answers.takeFirst();
        QTimer::singleShot(holdMs, this, [this, answer, guard = QPointer<QWidget>(modal)] {
            if (guard)
                respond(guard, answer);
            ++answered;
        });
    }

    static void respond(QWidget *modal, const QString &answer)
    {
        if (auto *input = qobject_cast<QInputDialog *>(modal)) {
            if (answer.startsWith(QLatin1Char('='))) {
                input->setTextValue(answer.mid(1));
                input->accept();
            } else {
                input->reject();
            }
            return;
        }
        auto *box = static_cast<QMessageBox *>(modal);
        QAbstractButton *button = box->button(buttonNames().value(answer, QMessageBox::NoButton));
        if (!button)
            button = box->escapeButton();
        if (button)
            button->click();
        else
            box->reject();
    }

    QTimer poll;
    QPointer<QWidget> handled;
};
