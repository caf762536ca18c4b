#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every message box and input dialog of the program goes through here, so
// that tests can answer them without a person and see what was asked.
namespace Dialogs {

struct Request
{
    enum Kind { Warning, Question, Input };
    Kind kind = Warning;
    QString title;
    QString text; // the message, or the input dialog's label
    QString defaultText; // input dialogs
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

struct Answer
{
    QMessageBox::StandardButton button = QMessageBox::NoButton; // message boxes
    bool accepted = false; // input dialogs
    QString text; // input dialogs
};

using Responder = std::function<Answer(const Request &)>;
// While a responder is set no dialog is shown: it answers every request.
void setResponder(Responder responder);

// A warning box with one OK button.
void warning(QWidget *parent, const QString &title, const QString &text);
QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// A one-line text input with normal echo; true and *text when confirmed.
bool getText(QWidget *parent, const QString &title, const QString &label, const QString &defaultText,
             QString *text);

// Places window centred over another, its size unchanged.
void centreOver(QWidget *window, const QWidget *over);

// Cuts every connection from the window's children (models, views, timers)
// to the window, for its destructor: what they emit while the window is torn
// down must not reach a window whose form is already gone.
void detachChildren(QObject *window);

} // namespace Dialogs
