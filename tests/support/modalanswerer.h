#pragma once

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the program's real message boxes and input dialogs while their own
// modal event loops run, as a user does: each box that comes up is noted as
// "Title: text", given the chance to have something happen while it is open,
// then answered. Answers are taken in order, written as "Ok", "Yes", "No",
// "Save", "Cancel", "=text" (typed and confirmed) or "-" (input cancelled); a
// box with no answer left gets OK, Cancel or the dialog's reject.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(QStringList answers = {})
        : answers(std::move(answers))
    {
        allowEventLoops();
        connect(&poll, &QTimer::timeout, this, &ModalAnswerer::check);
        poll.start(10);
    }

    // Runs once for each box while it is open; the answer comes holdMs later,
    // the box's own loop running meanwhile.
    std::function<void()> whileOpen;
    int holdMs = 0;
    QStringList seen;
    int answered = 0;
    QStringList answers;

    // A destroyed MainWindow ends the event loop, after which every new loop
    // (a modal box's too) returns at once; a short run of the application's
    // own loop starts afresh, as a new process would.
    static void allowEventLoops()
    {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

private:
    void check()
    {
        QWidget *modal = QApplication::activeModalWidget();
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *input = qobject_cast<QInputDialog *>(modal);
        if ((!box && !input) || modal == handled || !modal->isVisible())
            return;
        handled = modal;
        seen << modal->windowTitle() + QStringLiteral(": ") + (box ? box->text() : input->labelText());
        if (whileOpen)
            whileOpen();
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        QTimer::singleShot(holdMs, this, [this, answer, guard = QPointer<QWidget>(modal)] {
            if (guard)
                respond(guard, answer);
            ++answered;
        });
    }

    void respond(QWidget *modal, const QString &answer)
    {
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *input = qobject_cast<QInputDialog *>(modal);
        if (input) {
            if (answer.startsWith(QLatin1Char('='))) {
                input->setTextValue(answer.mid(1));
                input->accept();
            } else {
                input->reject();
            }
            return;
        }
        const QMap<QString, QMessageBox::StandardButton> buttons{
            {"Ok", QMessageBox::Ok},     {"Yes", QMessageBox::Yes},       {"No", QMessageBox::No},
            {"Save", QMessageBox::Save}, {"Cancel", QMessageBox::Cancel}};
        QAbstractButton *button = box->button(buttons.value(answer, QMessageBox::NoButton));
        if (!button)
            button = box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok) : box->button(QMessageBox::Cancel);
        if (button)
            button->click();
    }

    QTimer poll;
    QPointer<QWidget> handled;
};
