// MainWindow's polling half: sending a poll, collecting its reply and the
// sequence timer. Construction, the editor and the menus stay in
// mainwindow.cpp.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "data/functiontable.h"
#include "data/polleditor.h"
#include "data/polltable.h"
#include "modbus/busywait.h"
#include "modbus/connectionsettings.h"
#include "modbus/framing.h"
#include "modbus/messagelog.h"
#include "modbus/transport.h"
#include "storage/polls.h"
#include "windows/dialogs.h"
#include "windows/serialinfo.h"

#include <QTimer>

// Sending

void MainWindow::sendPoll(int number)
{
    // A sequence read from a hand-edited file may name polls that do not
    // exist; they are skipped and the run goes on.
    if (!pollNumber(number)) {
        if (ui->sequencetoggle->isChecked())
            pollTimer->start();
        else
            ui->singlepoll->setEnabled(true);
        return;
    }
    if (Connection.serialMode)
        sendSerialPoll(number);
    else
        sendTcpPoll(number);
}

void MainWindow::sendSerialPoll(int number)
{
    currentPoll = sentPoll = number;
    countFrame(ui->numofpolls);
    const Poll &poll = *pollNumber(number);
    const Request request = rtuRequest(poll);
    // Read now: a load during the connect wait may replace the poll.
    const int function = poll.function.toInt(nullptr, 10);
    logSent(request.hex);
    if (!waitForLine(true)) {
        if (!closing)
            reportPollError(MessageLog::lineError(true));
        return;
    }
    transport->writeSerial(request.bytes);
    replies.expectReply(*functionTable, function, true);
    replyTimer->start();
    CheckReadyRead();
}

void MainWindow::sendTcpPoll(int number)
{
    currentPoll = sentPoll = number;
    countFrame(ui->numofpolls);
    const Poll &poll = *pollNumber(number);
    const Request request = tcpRequest(poll);
    const int function = poll.function.toInt(nullptr, 10);
    if (!waitForLine(false)) {
        if (!closing)
            reportPollError(MessageLog::lineError(false));
        return;
    }
    transport->writeTcp(request.bytes);
    logSent(request.hex);
    replies.expectReply(*functionTable, function, false);
    replyTimer->start();
    CheckReadyRead();
}

// The connect wait keeps the event loop running. Ticks and Single Poll do
// nothing while it lasts (see TimeOut), since a second send from inside it
// would take the first one's reply for its own; a close of the window ends
// the wait and sends nothing.
bool MainWindow::waitForLine(bool serial)
{
    const auto wait = [this](int ms) {
        if (!closing)
            busyWait(ms);
    };
    lineWaiting = true;
    const bool ready = serial ? transport->readySerial(wait) : transport->readyTcp(wait);
    lineWaiting = false;
    return ready && !closing;
}

// Replies

void MainWindow::CheckReadyRead()
{
    collectReply(1);
}

void MainWindow::collectReply(int tickMs)
{
    const bool serial = Connection.serialMode;
    const bool open = transport->replyChannelOpen(serial);
    const QByteArray incoming = open ? transport->readAvailable(serial) : QByteArray();
    switch (replies.check(open, incoming, stopRequested, tickMs)) {
    case ReplyCollector::Outcome::Waiting:
        break;
    case ReplyCollector::Outcome::Abandoned:
        replyTimer->stop();
        break;
    case ReplyCollector::Outcome::Failed:
        reportPollError(replies.error());
        break;
    case ReplyCollector::Outcome::Complete:
        transport->endRequest(serial, false);
        readData(replies.replyCountIndex + 1);
        break;
    }
}

void MainWindow::readData(int startPos)
{
    Q_UNUSED(startPos) // the collector knows where the data starts
    replyTimer->stop();
    if (messageLogOn)
        logEntry(MessageLog::responseEntry(sentPoll, QTime::currentTime(), replies.buffer()));
    const Poll *poll = pollNumber(sentPoll);
    if (poll && !functionTable->write(poll->function.toInt(nullptr, 10)))
        pollResponses[size_t(sentPoll - 1)] = replies.data();
    countFrame(ui->numofvalid);

    // With Poll Time 0 the restart sends the next poll at once: the block
    // redrawn is the one of the poll that replied.
    const int replied = sentPoll;
    if (ui->sequencetoggle->isChecked()) {
        if (!stopRequested) {
            pollTimer->start();
            TimeOut();
        } else {
            stopRequested = false;
        }
    } else {
        ui->singlepoll->setEnabled(true);
    }
    if (displayOn)
        pollTable->refreshPoll(replied - 1);
}

void MainWindow::reportPollError(const QString &text)
{
    const bool serial = Connection.serialMode;
    countFrame(ui->numoferror);
    transport->endRequest(serial, true);
    const QString time = QTime::currentTime().toString(Qt::TextDate);
    if (messageLogOn)
        logEntry(MessageLog::errorEntry(sentPoll, time, text));
    if (Connection.loggingOn)
        MessageLog::appendReport(sentPoll, time, text);
    replyTimer->stop();
    replies.replyWaitMs = 0;
    replies.lastRxSize = 0;
    // A new connection asked for during the connect wait stopped the run; the
    // send it cut short must not start it again behind the dialog.
    if (ui->sequencetoggle->isChecked() && !connectionDialog)
        pollTimer->start();
    else
        ui->singlepoll->setEnabled(true);
}

// Polling

void MainWindow::on_singlepoll_clicked()
{
    // One request at a time: a sequence poll's reply may still be awaited
    // just after the switch to Edit Polls.
    if (lineWaiting || replyTimer->isActive())
        return;
    ui->singlepoll->setEnabled(false);
    const int number = ui->spinBox->value();
    stopRequested = false;
    if (!Connection.serialMode && !Connection.connectOnce && transport->tcpSocketOpen())
        transport->closeTcpSocket();
    sendPoll(number);
}

void MainWindow::on_sequencetoggle_toggled(bool checked)
{
    ui->sequencebutton->setEnabled(checked);
    ui->groupBox->setEnabled(!checked);
    ui->groupBox_3->setEnabled(checked);
    ui->singlepoll->setEnabled(!checked);
    if (checked && workingSequence.isEmpty())
        on_sequencebutton_clicked();
    if (checked)
        pollTable->showSequence(workingSequence);
    else
        pollTable->showSinglePoll(ui->spinBox->value() - 1);
}

void MainWindow::on_sequencebutton_clicked()
{
    // A second editor would commit its own list over the first one's.
    if (sequenceDialog) {
        sequenceDialog->raise();
        return;
    }
    auto *dialog = new polls(workingSequence, nullptr);
    sequenceDialog = dialog;
    dialog->setWindowFlags(dialog->windowFlags() | Qt::WindowStaysOnTopHint);
    Dialogs::centreOver(dialog, this);
    dialog->show();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QObject::destroyed, this, &MainWindow::Sequence_Destroyed);
}

void MainWindow::Sequence_Destroyed()
{
    // The editor is being destroyed; its pointer clears only after this.
    sequenceDialog.clear();
    pollEditor->loadPollEditor(ui->spinBox->value());
    Sequence = workingSequence;
    if (displayOn)
        pollTable->showSequence(workingSequence);
    // The queue shows the new list at once, not only after the next poll.
    refreshNextLabel();
}

void MainWindow::on_gobutton_clicked()
{
    if (workingSequence.isEmpty())
        return;
    stopRequested = false;
    sequencer.countdownMs = sequencer.pollIntervalMs;
    pollTimer->start();
}

void MainWindow::on_stopbutton_clicked()
{
    pollTimer->stop();
    stopRequested = true;
    sequencer.reset();
    refreshNextLabel();
    ui->progressBar->setValue(0);
}

void MainWindow::TimeOut()
{
    // The countdown holds while a send waits for its line or a reply is
    // awaited: GO pressed meanwhile restarts the timer, and a request sent
    // over an awaited reply would take that reply for its own.
    if (lineWaiting || closing || replyTimer->isActive())
        return;
    switch (sequencer.tick(workingSequence, stopRequested)) {
    case PollSequencer::Action::Stop:
        pollTimer->stop();
        break;
    case PollSequencer::Action::Count:
        // Every tick; the window's repaint limit keeps the bar's paints down.
        ui->progressBar->setValue(sequencer.progress());
        break;
    case PollSequencer::Action::Send: {
        pollTimer->stop();
        const int number = sequencer.poll();
        // Moved on before the connect wait, so a STOP during the wait leaves the run at its start.
        sequencer.advance(workingSequence.size(), ui->timebetweenpolls->value(), ui->repeatspin->value());
        ui->progressBar->setMaximum(sequencer.pollIntervalMs);
        refreshNextLabel();
        ui->progressBar->setValue(0);
        sendPoll(number);
        break;
    }
    }
}

void MainWindow::on_timebetweenpolls_valueChanged(double arg1)
{
    sequencer.setPollTime(arg1);
    ui->progressBar->setMaximum(sequencer.pollIntervalMs);
}

void MainWindow::refreshNextLabel()
{
    const QStringList texts = PollSequencer::nextTexts(workingSequence, sequencer.sequencePos);
    ui->nextpoll->setText(QStringLiteral("NEXT:") + texts.at(0));
    QLabel *const queue[] = {ui->pollqueue1, ui->pollqueue2, ui->pollqueue3, ui->pollqueue4, ui->pollqueue5,
                             ui->pollqueue6, ui->pollqueue7, ui->pollqueue8, ui->pollqueue9};
    for (int i = 0; i < 9; ++i)
        queue[i]->setText(texts.at(i + 1));
}
