#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace Ui {
class serialinfo;
}

// The connection settings dialog. It keeps no settings of its own: it shows
// and edits the process-wide ConnectionSettings record. Connect stores the
// choice, writes the settings file and deletes the dialog, whose destroyed()
// tells the main window to connect. Create it with new, never on the stack.
class serialinfo : public QDialog
{
    Q_OBJECT

public:
    // One serial port as the platform reports it: (description, system location).
    using PortList = QList<QPair<QString, QString>>;
    using PortLister = std::function<PortList()>;

    serialinfo(bool loadFirst, const QString &message, QWidget *parent = nullptr);
    ~serialinfo() override;

    // Exists for tests, which need ports this machine does not have. An empty
    // function restores the default, QSerialPortInfo::availablePorts().
    static void setPortLister(PortLister lister);

private slots:
    void on_connectbutton_clicked();
    void on_closeprogram_clicked();
    void on_tabWidget_currentChanged(int index);
    void on_connectonce_2_clicked(bool checked);
    void on_connectonce_clicked(bool checked);

private:
    void fillFromSettings();
    void readSerialBack();

    Ui::serialinfo *ui;
};
