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

QStringList column(const QTreeWidgetItem *block, int column)
{
    QStringList texts;
    for (int i = 0; block && i < block->childCount(); ++i)
        texts << block->child(i)->text(column);
    return texts;
}

QPoint rowAt(QAbstractItemView *view, const QString &path)
{
    auto *model = qobject_cast<QFileSystemModel *>(view->model());
    const QDir folder = QFileInfo(path).dir();
    const int onDisk = folder.entryList(model->nameFilters(), model->filter()).size();
    QPersistentModelIndex index;
    pumpUntil(
        [&] {
            index = model->index(path);
            view->scrollTo(index);
            return index.isValid() && (folder.isRoot() || model->rowCount(index.parent()) == onDisk);
        },
        3000);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

void menuEntry(QWidget *window, QAbstractItemView *view, const QString &path, const QString &entry)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowAt(view, path));
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                      view->viewport()->mapTo(window, rowAt(view, path)));
    for (QMenu *menu : window->findChildren<QMenu *>()) {
        for (QAction *action : menu->actions()) {
            if (menu->isVisible() && action->text() == entry)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        }
    }
}

void act(QWidget *root, const QString &step)
{
    const QString name = step.section('=', 0, 0), value = step.section('=', 1);
    QWidget *control = root->findChild<QWidget *>(name);
    if (name.startsWith("action")) {
        root->findChild<QAction *>(name)->trigger();
    } else if (qobject_cast<QAbstractSpinBox *>(control)) {
        control->setProperty("value", value);
    } else if (auto *box = qobject_cast<QComboBox *>(control)) {
        box->setCurrentIndex(box->findText(value));
    } else if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, value);
        QTest::keyClick(edit, Qt::Key_Return);
    } else {
        QTest::mouseClick(control, Qt::LeftButton);
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

bool WindowDriver::answer(int tab, bool connectOnce, const std::function<void(QWidget *)> &fill)
{
    QPointer<QWidget> dialog = waitForDialog();
    if (!dialog)
        return false;
    dialog->findChild<QTabWidget *>("tabWidget")->setCurrentIndex(tab);
    fill(dialog);
    // The Serial tab's own box is hidden and follows the TCP tab's one.
    auto *once = dialog->findChild<QCheckBox *>("connectonce");
    if (once->isChecked() != connectOnce)
        tab ? QTest::mouseClick(once, Qt::LeftButton, {}, QPoint(5, once->height() / 2)) : once->click();
    QTest::mouseClick(dialog->findChild<QPushButton *>("connectbutton"), Qt::LeftButton);
    return dialog.isNull();
}

bool WindowDriver::connectTcp(quint16 port, bool connectOnce)
{
    return answer(1, connectOnce, [port](QWidget *dialog) {
        dialog->findChild<QLineEdit *>("ipaddress")->setText("127.0.0.1");
        dialog->findChild<QLineEdit *>("portnum")->setText(QString::number(port));
    });
}

bool WindowDriver::connectSerial(const QString &device, bool connectOnce)
{
    // Listed from now on; a dialog lists the ports when it opens.
    serialinfo::setPortLister([device] { return serialinfo::PortList{{"test cable", device}}; });
    return answer(0, connectOnce, [device](QWidget *dialog) {
        for (const QString &step :
             QStringList{"port=" + device, "baud=19200", "data=8", "parity=None", "stop=1"})
            ::act(dialog, step);
    });
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
