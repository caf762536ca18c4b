#pragma once

#include "app/pollstore.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>

#include <array>
#include <memory>

class DataTypeTable;
class FunctionTable;
class QResizeEvent;
class QSerialPort;
class QSignalMapper;
class QTcpSocket;
class QTimer;

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

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void on_reset_clicked();
    void on_displaycheck_toggled(bool checked);
    void on_messagelogcheck_toggled(bool checked);

private:
    Ui::MainWindow *ui;

    // Transports, created by the first connect.
    QSerialPort *serialPort = nullptr;
    QTcpSocket *tcpSocket = nullptr;
    int serialOpen = 0;

    // For each poll, the data part of its last complete reply.
    std::array<QByteArray, MaxPolls> pollResponses;
    int currentPoll = 1;
    QList<int> workingSequence;
    int sequencePos = 0;

    QTimer *pollTimer = nullptr;
    QTimer *replyTimer = nullptr;
    QTimer *startupTimer = nullptr;
    int countdownMs = 0;
    int pollIntervalMs = 0;

    // Reply collection state.
    QByteArray rxBuffer;
    int expectedLength = 0;
    int replyWaitMs = 0;
    int lastRxSize = 0;
    int replyBaseLength = 0;
    int replyCountIndex = 0;

    bool stopRequested = false;
    bool editorLoaded = false;
    bool messageLogOn = true;
    bool displayOn = true;

    std::unique_ptr<FunctionTable> functionTable;
    std::unique_ptr<DataTypeTable> dataTypeTable;
    QSignalMapper *recentMapper = nullptr;

    QString chosenPath;
    QString lastPollFile;
};
