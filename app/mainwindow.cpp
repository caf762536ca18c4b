#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "resources/appresources.h"

#include "app/closerequest.h"
#include "app/framecounter.h"
#include "app/repaintlimiter.h"
#include "data/datatypetable.h"
#include "data/functiontable.h"
#include "data/polleditor.h"
#include "data/polltable.h"
#include "modbus/busywait.h"
#include "modbus/connectionsettings.h"
#include "modbus/framing.h"
#include "modbus/messagelog.h"
#include "modbus/messagelogdocument.h"
#include "modbus/transport.h"
#include "storage/pollfilemenu.h"
#include "storage/polls.h"
#include "storage/settingsfile.h"
#include "windows/dialogs.h"
#include "windows/folderpaths.h"
#include "windows/logging.h"
#include "windows/serialinfo.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QResizeEvent>
#include <QSignalMapper>
#include <QTimer>

#include <algorithm>

namespace {

// The window is made at least this large when a panel comes back ...
constexpr int FullWidth = 778;
constexpr int FullHeight = 830;
// ... and this small when the panels go; the sizes sit exactly on the
// thresholds below which resizeEvent switches a panel off.
constexpr int ControlsWidth = 285;
constexpr int NoLogHeight = 640;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    initAppResources();
    ui->setupUi(this);

    fillPollDefaults();
    // Absolute, so the reports stay where the logging window shows them
    // even when HOME is relative.
    Connection.logFolder = FolderPaths::absolute(QDir::homePath());

    recentMapper = new QSignalMapper(this);

    displayOn = ui->displaycheck->isChecked();
    messageLogOn = ui->messagelogcheck->isChecked();

    loadSettings();

    functionTable = std::make_unique<FunctionTable>();
    dataTypeTable = std::make_unique<DataTypeTable>();

    if (Sequence != workingSequence)
        workingSequence = Sequence;

    for (const QString &name : dataTypeTable->names())
        ui->datatype->addItem(name);
    for (const QString &text : functionTable->texts())
        ui->fucnum->addItem(text);

    pollTable = std::make_unique<PollTable>(ui->treeWidget, pollResponses);
    stopRequested = false;

    transport = new Transport(this);
    // 20 frames a second: the progress bar takes a value every 1 ms tick, and
    // this keeps its paints at the rate the bar used to move.
    new RepaintLimiter(this, 50);
    // Precise timers: a coarse 1 ms tick may fire late, which would stretch
    // both the countdown between polls and every reply wait.
    pollTimer = new QTimer(this);
    pollTimer->setInterval(1);
    pollTimer->setTimerType(Qt::PreciseTimer);
    replyTimer = new QTimer(this);
    replyTimer->setInterval(1);
    replyTimer->setTimerType(Qt::PreciseTimer);
    startupTimer = new QTimer(this);
    startupTimer->setInterval(200);
    connect(pollTimer, &QTimer::timeout, this, &MainWindow::TimeOut);
    connect(replyTimer, &QTimer::timeout, this, &MainWindow::CheckReadyRead);
    // A reply is taken as soon as its bytes arrive instead of on the next
    // tick; these checks count no tick, so the time-out stays 1500 ticks.
    // Queued, so the next request is never sent from inside the socket's
    // own signal.
    connect(
        transport, &Transport::bytesArrived, this,
        [this] {
            if (replyTimer->isActive())
                collectReply(0);
        },
        Qt::QueuedConnection);
    connect(ui->treeWidget, &QTreeWidget::itemDoubleClicked, this,
            &MainWindow::onTreeWidgetItemDoubleClicked);

    currentPoll = 1;
    const PollEditor::Widgets editorWidgets{
        ui->spinBox,    ui->slaveaddr,       ui->fucnum,   ui->startaddr,   ui->numreg,   ui->datatype,
        ui->ordercombo, ui->spinAddrPerItem, ui->descEdit, ui->addressType, ui->spinName, ui->stackedWidget};
    pollEditor = std::make_unique<PollEditor>(
        editorWidgets, *functionTable, *dataTypeTable, *pollTable, pollResponses,
        [this] { return displayOn; }, currentPoll);
    pollEditor->loadPollEditor(1);
    refreshNextLabel();

    sequencer.setPollTime(ui->timebetweenpolls->value());
    ui->progressBar->setMaximum(sequencer.pollIntervalMs);

    connect(ui->actionMenu, &QAction::triggered, this, &MainWindow::Settings_Clicked);
    connect(ui->actionSave, &QAction::triggered, this, &MainWindow::actionSave_clicked);
    connect(ui->actionLoad, &QAction::triggered, this, &MainWindow::actionLoad_clicked);
    connect(ui->actionLogging, &QAction::triggered, this, &MainWindow::actionLogging_clicked);
    fileMenu = std::make_unique<PollFileMenu>(
        this, chosenPath, lastPollFile,
        std::array<QAction *, 5>{ui->actionRecent1, ui->actionRecent2, ui->actionRecent3, ui->actionRecent4,
                                 ui->actionRecent5});
    fileMenu->updateRecentMenu();
    fileMenu->mapRecentActions(recentMapper);
    connect(recentMapper, &QSignalMapper::mappedInt, this, &MainWindow::LoadRecentPoll);
    fileMenu->updateRecentMenu();

    ui->treeWidget->header()->setVisible(true);
    connect(startupTimer, &QTimer::timeout, this, &MainWindow::abc);

    on_displaycheck_toggled(displayOn);
    on_messagelogcheck_toggled(messageLogOn);

    closeRequests = std::make_unique<CloseRequestFilter>(this);
    QCoreApplication::instance()->installNativeEventFilter(closeRequests.get());

    ui->timeseight->hide();
    // The log is edited in place; an undo history of every entry would grow
    // without end in a read-only box.
    ui->feedback->setUndoRedoEnabled(false);
    startupTimer->start();
}

MainWindow::~MainWindow()
{
    // A connection dialog still open would otherwise outlive the window and
    // try to connect through it.
    if (connectionDialog) {
        connectionDialog->disconnect(this);
        delete connectionDialog;
    }
    // The sequence editor writes into workingSequence when it goes: it must
    // go while the list is still there.
    if (sequenceDialog) {
        sequenceDialog->disconnect(this);
        delete sequenceDialog;
    }
    // An open browser writes into chosenPath: it goes first.
    QCoreApplication::instance()->removeNativeEventFilter(closeRequests.get());
    fileMenu.reset();
    for (const QPointer<QWidget> &window : loggingWindows)
        delete window;
    // Widgets still signal while they are torn down after this body has run;
    // nothing of them may reach the slots of a window that is gone.
    Dialogs::detachChildren(this);
    // The editor and the table point into the widgets: they go first.
    pollEditor.reset();
    delete ui;
    ui = nullptr;
    pollTable.reset();
    functionTable.reset();
    dataTypeTable.reset();
    delete recentMapper;
    transport->closeSerialPort();
    QCoreApplication::exit(0);
}

QByteArray MainWindow::pollResponse(int number) const
{
    return number >= 1 && number <= MaxPolls ? pollResponses.at(size_t(number - 1)) : QByteArray();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing this window ends the program even while a logging window or
    // another window without a parent is still open; nothing is sent after it.
    closing = true;
    pollTimer->stop();
    replyTimer->stop();
    QMainWindow::closeEvent(event);
    QCoreApplication::quit();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    const int width = event->size().width();
    const int height = event->size().height();

    QRect tree = ui->treeWidget->geometry();
    ui->treeWidget->setGeometry(tree.x(), tree.y(), width - tree.x() - 5, tree.height());
    if (width < ControlsWidth)
        ui->displaycheck->setChecked(false);

    QRect log = ui->feedback->geometry();
    ui->feedback->setGeometry(log.x(), log.y(), width - log.x() - 5, height - log.y() - 25);
    if (height < NoLogHeight)
        ui->messagelogcheck->setChecked(false);
}

// Connecting

void MainWindow::openConnectionDialog(bool loadFirst, const QString &message)
{
    // One dialog at a time: a second would be left out of the shutdown below.
    if (connectionDialog) {
        connectionDialog->raise();
        return;
    }
    ui->footer2->setText(QString());
    auto *dialog = new serialinfo(loadFirst, message, nullptr);
    connectionDialog = dialog;
    dialog->setWindowFlags(dialog->windowFlags() | Qt::WindowStaysOnTopHint);
    Dialogs::centreOver(dialog, this);
    dialog->show();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QObject::destroyed, this, &MainWindow::ConnectToPort);
}

void MainWindow::abc()
{
    openConnectionDialog(true, QString());
    startupTimer->stop();
}

void MainWindow::Settings_Clicked()
{
    pollTimer->stop();
    replyTimer->stop();
    openConnectionDialog(false, transport->disconnectPort());
}

void MainWindow::ConnectToPort()
{
    // The dialog is being destroyed; its pointer clears only after this.
    connectionDialog.clear();
    QString text;
    if (transport->connectPort(&text))
        ui->footer2->setText(text);
    else
        openConnectionDialog(false, text);
}

void MainWindow::errorReport(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::NoError)
        openConnectionDialog(false, transport->dropSerialPort());
}

// Counters and the message log

void MainWindow::countFrame(QLabel *counter)
{
    counter->setText(incrementedCount(counter->text()));
}

void MainWindow::on_reset_clicked()
{
    ui->numoferror->setText(QStringLiteral("0"));
    ui->numofpolls->setText(QStringLiteral("0"));
    ui->numofvalid->setText(QStringLiteral("0"));
}

void MainWindow::logSent(const QStringList &hexBytes)
{
    if (messageLogOn)
        MessageLog::insertEntry(ui->feedback->document(), MessageLog::sentEntry(QTime::currentTime(), hexBytes),
                                false);
    replies.clear();
}

void MainWindow::logEntry(const QString &entry)
{
    MessageLog::insertEntry(ui->feedback->document(), entry, true);
}

void MainWindow::on_displaycheck_toggled(bool checked)
{
    displayOn = checked;
    ui->treeWidget->setVisible(checked);
    ui->treeWidget->setEnabled(checked);
    // The table may be built before the rest of the window at construction.
    if (checked && pollTable) {
        if (ui->sequencetoggle->isChecked())
            pollTable->showSequence(workingSequence);
        else
            pollTable->showSinglePoll(ui->spinBox->value() - 1);
    }
    if (!messageLogOn)
        resize(checked ? std::max(width(), FullWidth) : ControlsWidth, NoLogHeight);
}

void MainWindow::on_messagelogcheck_toggled(bool checked)
{
    messageLogOn = checked;
    ui->feedback->setVisible(checked);
    ui->feedback->setEnabled(checked);
    if (checked)
        resize(std::max(width(), FullWidth), std::max(height(), FullHeight));
    else if (!displayOn)
        resize(ControlsWidth, NoLogHeight);
    else
        resize(std::max(width(), FullWidth), NoLogHeight);
}

// The poll editor and the poll table

void MainWindow::on_spinBox_valueChanged(int arg1)
{
    pollEditor->pollSelected(arg1, ui->sequencetoggle->isChecked());
}

void MainWindow::on_slaveaddr_valueChanged(int arg1)
{
    pollEditor->slaveChanged(arg1);
}

void MainWindow::on_fucnum_currentIndexChanged(int index)
{
    Q_UNUSED(index) // the editor reads the code from the text
    if (pollEditor)
        pollEditor->functionChanged();
}

void MainWindow::on_startaddr_valueChanged(int arg1)
{
    pollEditor->startAddressChanged(arg1);
}

void MainWindow::on_timeseight_clicked()
{
    pollEditor->timesEight();
}

void MainWindow::on_numreg_valueChanged(int arg1)
{
    pollEditor->countChanged(arg1);
}

void MainWindow::on_datatype_currentIndexChanged(int index)
{
    if (pollEditor)
        pollEditor->typeChanged(index);
}

void MainWindow::on_ordercombo_currentIndexChanged(const QString &arg1)
{
    pollEditor->orderChanged(arg1);
}

void MainWindow::on_spinAddrPerItem_valueChanged(int arg1)
{
    pollEditor->addressesPerItemChanged(arg1);
}

void MainWindow::on_descEdit_editingFinished()
{
    pollEditor->descriptionEdited();
}

void MainWindow::on_ordercombo_activated(const QString &arg1)
{
    Q_UNUSED(arg1)
}

void MainWindow::on_datatype_activated(const QString &arg1)
{
    Q_UNUSED(arg1)
}

void MainWindow::onTreeWidgetItemDoubleClicked(QTreeWidgetItem *item, int column)
{
    pollTable->openEditor(item, column);
}

void MainWindow::on_treeWidget_itemChanged(QTreeWidgetItem *item, int column)
{
    if (pollTable)
        pollTable->storeEdit(item, column);
}

// Poll files and report logging

void MainWindow::actionLoad_clicked()
{
    fileMenu->openBrowser(false, this, &MainWindow::on_LoadClose);
}

void MainWindow::actionSave_clicked()
{
    fileMenu->openBrowser(true, this, &MainWindow::on_SaveClose);
}

void MainWindow::on_LoadClose()
{
    QString error;
    const PollFileMenu::Load load = fileMenu->load(&error);
    if (load == PollFileMenu::Load::Nothing)
        return;
    if (load == PollFileMenu::Load::Loaded) {
        // The loaded sequence is the one to run and edit, as after a start
        // with this file.
        workingSequence = Sequence;
        if (displayOn && ui->sequencetoggle->isChecked())
            pollTable->showSequence(workingSequence);
        refreshNextLabel();
    }
    ui->spinBox->setValue(1);
    pollEditor->loadPollEditor(ui->spinBox->value());
    // This runs inside the browser's destruction: a message box's event loop
    // there would deliver the browser's late signals to a half-destroyed
    // window. The box comes once the browser is gone.
    if (load == PollFileMenu::Load::Failed)
        QTimer::singleShot(0, this,
                           [this, error] { Dialogs::warning(this, QStringLiteral("File Error"), error); });
}

void MainWindow::on_SaveClose()
{
    fileMenu->save();
}

void MainWindow::LoadRecentPoll(int index)
{
    if (fileMenu->chooseRecent(index))
        on_LoadClose();
}

void MainWindow::actionLogging_clicked()
{
    auto *window = new logging(nullptr);
    window->setWindowFlags(window->windowFlags() | Qt::WindowStaysOnTopHint);
    Dialogs::centreOver(window, this);
    window->show();
    window->setAttribute(Qt::WA_DeleteOnClose);
    loggingWindows.removeAll(nullptr);
    loggingWindows << window;
}
