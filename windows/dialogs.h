#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// Every message box and input dialog of the program goes through here.
namespace Dialogs {

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
