#pragma once

#include "app/pollstore.h"
#include "modbus/pollsequencer.h"
#include "modbus/replycollector.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSerialPort>

#include <array>
#include <memory>

class CloseRequestFilter;
class DataTypeTable;
class FunctionTable;
class PollEditor;
class PollTable;
class QTreeWidgetItem;
class QLabel;
class QCloseEvent;
class QResizeEvent;
class QSignalMapper;
class QTimer;
class Transport;
class PollFileMenu;
class polls;
class serialinfo;

namespace Ui {
class MainWindow;
}

// The hub of the program: owns the widgets, timers and transports, and hands
// each concern to the class that owns it.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The data part of the last complete reply to a poll (1..99); empty otherwise.
    QByteArray pollResponse(int number) const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void ConnectToPort();
    void errorReport(QSerialPort::SerialPortError error);
    void readData(int startPos);
    void on_numreg_valueChanged(int arg1);
    void actionLoad_clicked();
    void on_slaveaddr_valueChanged(int arg1);
    void on_startaddr_valueChanged(int arg1);
    void on_spinBox_valueChanged(int arg1);
    void actionLogging_clicked();
    void on_sequencebutton_clicked();
    void on_sequencetoggle_toggled(bool checked);
    void on_singlepoll_clicked();
    void on_datatype_currentIndexChanged(int index);
    void actionSave_clicked();
    void on_gobutton_clicked();
    void on_stopbutton_clicked();
    void TimeOut();
    void Sequence_Destroyed();
    void CheckReadyRead();
    void Settings_Clicked();
    void on_reset_clicked();
    void abc();
    void on_timebetweenpolls_valueChanged(double arg1);
    void on_ordercombo_currentIndexChanged(const QString &arg1);
    void on_fucnum_currentIndexChanged(int index);
    void onTreeWidgetItemDoubleClicked(QTreeWidgetItem *item, int column);
    void LoadRecentPoll(int index);
    void on_treeWidget_itemChanged(QTreeWidgetItem *item, int column);
    void on_timeseight_clicked();
    void on_SaveClose();
    void on_LoadClose();
    void on_displaycheck_toggled(bool checked);
    void on_messagelogcheck_toggled(bool checked);
    void on_spinAddrPerItem_valueChanged(int arg1);
    // The two "activated" slots do nothing: the index-changed slots store a choice.
    void on_ordercombo_activated(const QString &arg1);
    void on_descEdit_editingFinished();
    void on_datatype_activated(const QString &arg1);

private:
    void openConnectionDialog(bool loadFirst, const QString &message);
    void sendSerialPoll(int number);
    void sendTcpPoll(int number);
    void sendPoll(int number);
    bool waitForLine(bool serial);
    void collectReply(int tickMs);
    void reportPollError(const QString &text);
    void logSent(const QStringList &hexBytes);
    void logEntry(const QString &entry);
    void countFrame(QLabel *counter);
    void refreshNextLabel();

    Ui::MainWindow *ui;
    Transport *transport = nullptr;

    // For each poll, the data part of its last complete reply.
    std::array<QByteArray, MaxPolls> pollResponses;
    int currentPoll = 1;
    // The poll whose request went out last: its reply or error is filed under
    // it, though the editor (which sets currentPoll) may have moved on since.
    int sentPoll = 1;
    QList<int> workingSequence;

    QTimer *pollTimer = nullptr;
    QTimer *replyTimer = nullptr;
    QTimer *startupTimer = nullptr;
    PollSequencer sequencer;
    ReplyCollector replies;

    bool stopRequested = false;
    // A send is waiting for its line to open, with the event loop running.
    bool lineWaiting = false;
    // The window was closed: the program is ending and sends nothing more.
    bool closing = false;
    bool messageLogOn = true;
    bool displayOn = true;

    std::unique_ptr<FunctionTable> functionTable;
    std::unique_ptr<DataTypeTable> dataTypeTable;
    std::unique_ptr<PollTable> pollTable;
    std::unique_ptr<PollEditor> pollEditor;
    std::unique_ptr<CloseRequestFilter> closeRequests;
    QSignalMapper *recentMapper = nullptr;
    QPointer<serialinfo> connectionDialog;
    QPointer<polls> sequenceDialog;
    // The logging windows have no parent; they go with this window.
    QList<QPointer<QWidget>> loggingWindows;

    QString chosenPath;
    QString lastPollFile;
    // Opens browsers that write into chosenPath: declared after it.
    std::unique_ptr<PollFileMenu> fileMenu;
};
