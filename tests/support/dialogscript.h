#pragma once

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Answers the program's real message boxes and input dialogs while their own
// modal event loops run, as a user would, in the order they come, and keeps
// what each one asked.
class DialogScript : public QObject
{
public:
    // Answers: a button's text ("Ok", "Yes", "Save" ...), "=text" (typed and
    // confirmed) or "-" (cancelled); a dialog with no answer left is cancelled.
    explicit DialogScript(const QStringList &answers = {})
        : answers(answers)
    {
        // A destroyed MainWindow ends the event loop, after which every new
        // loop (a modal box's too) returns at once; a short run of the
        // application's own loop starts afresh, as a new process would.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        connect(&poll, &QTimer::timeout, this, &DialogScript::check);
        poll.start(5);
    }

    QStringList answers;
    // "Title: text" of each dialog shown, with an input dialog's default text
    // in [] and a question's buttons in {}, its default one starred.
    QStringList shown;
    // Runs once for each dialog while it is open; the answer comes holdMs
    // later, the dialog's own loop running meanwhile.
    std::function<void()> whileOpen;
    int holdMs = 0;
    int answered = 0;

private:
    void check()
    {
        QWidget *modal = QApplication::activeModalWidget();
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *input = qobject_cast<QInputDialog *>(modal);
        if ((!box && !input) || modal == handled || !modal->isVisible())
            return;
        handled = modal;
        QString seen = modal->windowTitle() + ": " + (input ? input->labelText() : box->text());
        if (input && !input->textValue().isEmpty())
            seen += " [" + input->textValue() + "]";
        QStringList names;
        const bool question = box && box->icon() == QMessageBox::Question;
        for (QAbstractButton *button : question ? box->buttons() : QList<QAbstractButton *>())
            names << button->text().remove('&') + (button == box->defaultButton() ? "*" : "");
        shown << seen + (names.isEmpty() ? "" : " {" + names.join(',') + "}");
        if (whileOpen)
            whileOpen();
        const QString answer = answers.isEmpty() ? QStringLiteral("-") : answers.takeFirst();
        QTimer::singleShot(holdMs, this, [this, answer, guard = QPointer<QWidget>(modal)] {
            if (auto *input = qobject_cast<QInputDialog *>(guard)) {
                input->setTextValue(answer.mid(1));
                answer.startsWith('=') ? input->accept() : input->reject();
            } else if (auto *box = qobject_cast<QMessageBox *>(guard)) {
                QAbstractButton *chosen = box->escapeButton();
                for (QAbstractButton *button : box->buttons()) {
                    if (button->text().remove('&').compare(answer, Qt::CaseInsensitive) == 0)
                        chosen = button;
                }
                chosen ? chosen->click() : box->reject();
            }
            ++answered;
        });
    }

    QTimer poll;
    QPointer<QWidget> handled;
};
