#include "windowdriver.h"

#include "modbus/connectionsettings.h"
#include "windows/serialinfo.h"

#include <QApplication>
#include <QDir>
#include <QtTest>
#include <QtWidgets>

WindowDriver::WindowDriver(const QString &home)
    : m_homePath(home.isEmpty() ? m_home.path() : home)
{
    qputenv("HOME", QFile::encodeName(m_homePath));
    Connection = ConnectionSettings();
    m_window = std::make_unique<MainWindow>();
    m_window->show();
}

WindowDriver::~WindowDriver()
{
    m_window.reset();
    // A dialog the window did not take down with it (none should be left).
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<serialinfo *>(w))
            delete w;
    }
}

serialinfo *WindowDriver::waitForDialog(int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    do {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<serialinfo *>(w); dialog && dialog->isVisible())
                return dialog;
        }
        QTest::qWait(5);
    } while (timer.elapsed() < timeoutMs);
    return nullptr;
}

bool WindowDriver::connectTcp(quint16 port, bool connectOnce, const QString &address)
{
    serialinfo *dialog = waitForDialog();
    if (!dialog)
        return false;
    dialog->findChild<QTabWidget *>("tabWidget")->setCurrentIndex(1);
    dialog->findChild<QLineEdit *>("ipaddress")->setText(address);
    dialog->findChild<QLineEdit *>("portnum")->setText(QString::number(port));
    auto *once = dialog->findChild<QCheckBox *>("connectonce");
    if (once->isChecked() != connectOnce)
        QTest::mouseClick(once, Qt::LeftButton, {}, QPoint(5, once->height() / 2));
    QPointer<serialinfo> guard(dialog);
    QTest::mouseClick(dialog->findChild<QPushButton *>("connectbutton"), Qt::LeftButton);
    return guard.isNull();
}

bool WindowDriver::connectSerial(const QString &device, bool connectOnce)
{
    serialinfo *dialog = waitForDialog();
    if (!dialog)
        return false;
    Connection.serialMode = true;
    Connection.portName = device;
    Connection.baudRate = 19200;
    Connection.dataBits = 8;
    Connection.parity = 0; // a pty refuses parity
    Connection.stopBits = 1;
    Connection.flowControl = 0;
    Connection.connectOnce = connectOnce;
    QPointer<serialinfo> guard(dialog);
    dialog->close();
    // Closing deletes the dialog later, from the event loop.
    for (int i = 0; i < 200 && guard; ++i)
        QTest::qWait(5);
    return guard.isNull();
}

QString WindowDriver::text(const char *label) const
{
    return widget<QLabel>(label)->text();
}

QString WindowDriver::log() const
{
    return widget<QPlainTextEdit>("feedback")->toPlainText();
}

void WindowDriver::click(const char *button) const
{
    QTest::mouseClick(widget<QAbstractButton>(button), Qt::LeftButton);
}

bool pumpUntil(const std::function<bool()> &done, int timeoutMs)
{
    // No nested QEventLoop: each destroyed window calls QCoreApplication::exit,
    // after which every new loop returns at once.
    QTimer wake; // wakes the wait below at least this often
    wake.start(5);
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return done();
}

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
        .size();
}
