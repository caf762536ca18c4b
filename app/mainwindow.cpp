#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "data/datatypetable.h"
#include "data/functiontable.h"
#include "modbus/connectionsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QResizeEvent>
#include <QSerialPort>
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

// The icon lives in a static library; pull its resource in explicitly. The
// macro must be used outside any namespace.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    initResources();
    ui->setupUi(this);

    fillPollDefaults();
    Connection.logFolder = QDir::homePath();

    recentMapper = new QSignalMapper(this);

    displayOn = ui->displaycheck->isChecked();
    messageLogOn = ui->messagelogcheck->isChecked();

    functionTable = std::make_unique<FunctionTable>();
    dataTypeTable = std::make_unique<DataTypeTable>();

    if (Sequence != workingSequence)
        workingSequence = Sequence;
    editorLoaded = false;

    for (const QString &name : dataTypeTable->names())
        ui->datatype->addItem(name);
    for (const QString &text : functionTable->texts())
        ui->fucnum->addItem(text);

    stopRequested = false;

    pollTimer = new QTimer(this);
    pollTimer->setInterval(1);
    replyTimer = new QTimer(this);
    replyTimer->setInterval(1);
    startupTimer = new QTimer(this);
    startupTimer->setInterval(200);

    serialOpen = 0;
    replyWaitMs = 0;
    sequencePos = 0;
    lastRxSize = 0;
    currentPoll = 1;

    pollIntervalMs = int(ui->timebetweenpolls->value() * 1000);
    ui->progressBar->setMaximum(pollIntervalMs);

    ui->treeWidget->header()->setVisible(true);

    on_displaycheck_toggled(displayOn);
    on_messagelogcheck_toggled(messageLogOn);

    ui->timeseight->hide();
}

MainWindow::~MainWindow()
{
    delete ui;
    functionTable.reset();
    dataTypeTable.reset();
    delete recentMapper;
    if (serialOpen == 1 && serialPort && serialPort->isOpen())
        serialPort->close();
    QCoreApplication::exit(0);
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

void MainWindow::on_reset_clicked()
{
    ui->numoferror->setText(QStringLiteral("0"));
    ui->numofpolls->setText(QStringLiteral("0"));
    ui->numofvalid->setText(QStringLiteral("0"));
}

void MainWindow::on_displaycheck_toggled(bool checked)
{
    displayOn = checked;
    ui->treeWidget->setVisible(checked);
    ui->treeWidget->setEnabled(checked);
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
