#include "windows/dialogs.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QWidget>

namespace Dialogs {

void warning(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

bool getText(QWidget *parent, const QString &title, const QString &label, const QString &defaultText,
             QString *text)
{
    bool ok = false;
    *text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, defaultText, &ok);
    return ok;
}

void centreOver(QWidget *window, const QWidget *over)
{
    window->move(over->x() + over->width() / 2 - window->width() / 2,
                 over->y() + over->height() / 2 - window->height() / 2);
}

void detachChildren(QObject *window)
{
    for (QObject *child : window->findChildren<QObject *>())
        child->disconnect(window);
}

} // namespace Dialogs
