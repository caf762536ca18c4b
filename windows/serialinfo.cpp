#include "windows/serialinfo.h"
#include "ui_serialinfo.h"

#include "resources/appresources.h"

#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QSerialPortInfo>

namespace {

serialinfo::PortLister portLister;

serialinfo::PortList availablePorts()
{
    if (portLister)
        return portLister();
    serialinfo::PortList ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.description(), info.systemLocation()});
    return ports;
}

// The texts of the parity and flow boxes against the serial library's values;
// any other value shows, and any other text reads back, as "None" (0).
struct NamedValue
{
    const char *text;
    int value;
};
constexpr NamedValue parityNames[] = {{"Even", QSerialPort::EvenParity},
                                      {"Odd", QSerialPort::OddParity},
                                      {"Space", QSerialPort::SpaceParity},
                                      {"Mark", QSerialPort::MarkParity}};
constexpr NamedValue flowNames[] = {{"Hardware", QSerialPort::HardwareControl},
                                    {"Software", QSerialPort::SoftwareControl}};

template<size_t N>
QString textOf(const NamedValue (&names)[N], int value)
{
    for (const NamedValue &named : names) {
        if (named.value == value)
            return QString::fromLatin1(named.text);
    }
    return QStringLiteral("None");
}

template<size_t N>
int valueOf(const NamedValue (&names)[N], const QString &text)
{
    for (const NamedValue &named : names) {
        if (text == QLatin1String(named.text))
            return named.value;
    }
    return 0;
}

// No current item when the text is not in the list.
void selectText(QComboBox *box, const QString &text)
{
    box->setCurrentIndex(box->findText(text));
}

} // namespace

serialinfo::serialinfo(bool loadFirst, const QString &message, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::serialinfo)
{
    initAppResources();
    ui->setupUi(this);
    ui->connectonce_2->hide();
    if (loadFirst)
        loadSettings();
    fillFromSettings();
    // Values the lists cannot show become an empty port name or 0, so closing
    // the dialog connects with exactly what it showed.
    readSerialBack();
    ui->tabWidget->setCurrentIndex(Connection.serialMode ? 0 : 1);
    on_tabWidget_currentChanged(ui->tabWidget->currentIndex());
    if (!message.isEmpty())
        ui->statusmessage->setText(message);
}

serialinfo::~serialinfo()
{
    delete ui;
}

void serialinfo::setPortLister(PortLister lister)
{
    portLister = std::move(lister);
}

void serialinfo::fillFromSettings()
{
    // The description only decides whether a port is listed: ports without
    // one are usually placeholders for hardware that is not there.
    for (const auto &port : availablePorts()) {
        if (!port.first.isEmpty())
            ui->port->addItem(port.second);
    }
    selectText(ui->port, Connection.portName);
    selectText(ui->baud, QString::number(Connection.baudRate));
    selectText(ui->data, QString::number(Connection.dataBits));
    selectText(ui->stop, QString::number(Connection.stopBits));
    selectText(ui->flow, textOf(flowNames, Connection.flowControl));
    selectText(ui->parity, textOf(parityNames, Connection.parity));
    ui->connectonce_2->setChecked(Connection.connectOnce);
    ui->connectonce->setChecked(Connection.connectOnce);
    ui->ipaddress->setText(Connection.ipAddress);
    ui->portnum->setText(QString::number(Connection.tcpPort));
}

void serialinfo::readSerialBack()
{
    // currentText() is empty without a current item, which converts to 0.
    Connection.portName = ui->port->currentText();
    Connection.baudRate = ui->baud->currentText().toInt();
    Connection.dataBits = ui->data->currentText().toInt();
    Connection.stopBits = ui->stop->currentText().toInt();
    Connection.flowControl = valueOf(flowNames, ui->flow->currentText());
    Connection.parity = valueOf(parityNames, ui->parity->currentText());
    Connection.connectOnce = ui->connectonce_2->isChecked();
}

void serialinfo::on_connectbutton_clicked()
{
    if (ui->tabWidget->currentIndex() == 0) {
        if (ui->port->currentIndex() < 0) {
            ui->statusmessage->setText(QStringLiteral("Select a port."));
            return;
        }
        Connection.serialMode = true;
        readSerialBack();
    } else {
        // Nothing is validated here: a bad address or port shows up as a
        // failed connection, which reopens this dialog with the reason.
        Connection.tcpPort = ui->portnum->text().toInt();
        Connection.ipAddress = ui->ipaddress->text();
        Connection.connectOnce = ui->connectonce->isChecked();
        Connection.serialMode = false;
    }
    saveSettings();
    // Destroyed at once, not closed or deleted later: the main window's
    // destroyed() handler connects with the settings just stored, before any
    // other event can run. Qt guards button clicks and mouse and key delivery
    // against the receiver's deletion, and nothing here touches a member after
    // this line. The main window creates the dialog with new.
    delete this;
}

void serialinfo::on_closeprogram_clicked()
{
    QCoreApplication::exit(0);
}

void serialinfo::on_tabWidget_currentChanged(int index)
{
    if (index == 0) {
        ui->connectbutton->setText(QStringLiteral("Connect (Serial)"));
        ui->statusmessage->setText(QStringLiteral("Select a port and set serial settings."));
    } else if (index == 1) {
        ui->connectbutton->setText(QStringLiteral("Connect (TCP)"));
        ui->statusmessage->setText(QStringLiteral("Specify IP Address, Port and connect status."));
    }
}

void serialinfo::on_connectonce_2_clicked(bool checked)
{
    ui->connectonce->setChecked(checked);
}

void serialinfo::on_connectonce_clicked(bool checked)
{
    ui->connectonce_2->setChecked(checked);
}
