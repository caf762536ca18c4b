#include "windowdriver.h"

#include "modbus/connectionsettings.h"
#include "windows/serialinfo.h"

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

QWidget *openWindow(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name && w->isVisible())
            return w;
    }
    return nullptr;
}

int openDescriptors()
{
    return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

void press(const QWidget *window, const char *button)
{
    QTest::mouseClick(window->findChild<QAbstractButton *>(button), Qt::LeftButton);
}

QPoint rowAt(QAbstractItemView *view, const QModelIndex &index)
{
    view->scrollTo(index);
    return view->visualRect(index).center();
}

void menuEntry(QWidget *window, QAbstractItemView *view, const QModelIndex &index, const QString &entry)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowAt(view, index));
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                      view->viewport()->mapTo(window, rowAt(view, index)));
    for (QMenu *menu : window->findChildren<QMenu *>()) {
        for (QAction *action : menu->actions()) {
            if (menu->isVisible() && action->text() == entry)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        }
    }
}

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
    serialinfo::setPortLister({});
}

QWidget *WindowDriver::waitForDialog(int timeoutMs) const
{
    QWidget *dialog = nullptr;
    pumpUntil([&] { return (dialog = openWindow("serialinfo")) != nullptr; }, timeoutMs);
    return dialog;
}

bool WindowDriver::connectTcp(quint16 port, bool connectOnce, const QString &address)
{
    QPointer<QWidget> dialog = waitForDialog();
    if (!dialog)
        return false;
    dialog->findChild<QTabWidget *>("tabWidget")->setCurrentIndex(1);
    dialog->findChild<QLineEdit *>("ipaddress")->setText(address);
    dialog->findChild<QLineEdit *>("portnum")->setText(QString::number(port));
    auto *once = dialog->findChild<QCheckBox *>("connectonce");
    if (once->isChecked() != connectOnce)
        QTest::mouseClick(once, Qt::LeftButton, {}, QPoint(5, once->height() / 2));
    QTest::mouseClick(dialog->findChild<QPushButton *>("connectbutton"), Qt::LeftButton);
    return dialog.isNull();
}

bool WindowDriver::connectSerial(const QString &device, bool connectOnce)
{
    // Listed from now on; a dialog lists the ports when it opens.
    serialinfo::setPortLister([device] { return serialinfo::PortList{{"test cable", device}}; });
    QPointer<QWidget> dialog = waitForDialog();
    if (!dialog)
        return false;
    dialog->findChild<QTabWidget *>("tabWidget")->setCurrentIndex(0);
    const QStringList choices{"port", device, "baud", "19200", "data", "8", "parity", "None", "stop", "1"};
    for (int i = 0; i < choices.size(); i += 2) {
        auto *box = dialog->findChild<QComboBox *>(choices.at(i));
        box->setCurrentIndex(box->findText(choices.at(i + 1)));
    }
    auto *once = dialog->findChild<QCheckBox *>("connectonce");
    if (once->isChecked() != connectOnce)
        once->click(); // the Serial tab's own box is hidden and follows this one
    QTest::mouseClick(dialog->findChild<QPushButton *>("connectbutton"), Qt::LeftButton);
    return dialog.isNull();
}

void WindowDriver::type(const char *field, const QString &text) const
{
    auto *edit = widget<QLineEdit>(field);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

bool Rig::start(bool serialLine, const QStringList &args)
{
    serial = serialLine;
    if (serial && !pty.start())
        return error = pty.errorString(), false;
    if (!(serial ? slave.startRtu(pty.slaveSide(), args) : slave.startTcp(args)))
        return error = slave.errorString(), false;
    return true;
}

bool Rig::connect(WindowDriver &driver, bool connectOnce) const
{
    if (!serial)
        return driver.connectTcp(slave.port(), connectOnce);
    // A failed open reopens the dialog instead of filling the status line.
    return driver.connectSerial(pty.masterSide(), connectOnce)
           && driver.text("footer2") == "Connected to " + pty.masterSide();
}
