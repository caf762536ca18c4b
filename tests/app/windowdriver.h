#pragma once

#include "app/mainwindow.h"
#include "support/ptypair.h"
#include "support/slaveprocess.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

// Processes events until done() answers true or timeoutMs has passed; answers
// done(). Unlike QTest::qWait it does not sleep between rounds of events, so
// the window's 1 ms timers keep their pace.
bool pumpUntil(const std::function<bool()> &done, int timeoutMs);
#define WAIT_FOR(condition, timeoutMs)                                                                       \
    QVERIFY2(pumpUntil([&] { return bool(condition); }, timeoutMs), "no " #condition)

// The visible top-level window with this object name (a form's class name), or nullptr.
QWidget *openWindow(const QString &name);
// The texts of one column of a table block's rows.
QStringList column(const QTreeWidgetItem *block, int column);

// A file or folder's row in a folder view, its folder's rows loaded (the
// model reads folders in a thread) and scrolled into view: its centre.
QPoint rowAt(QAbstractItemView *view, const QString &path);
// Chooses the row with a left click, brings its context menu with a right
// click through the window system and clicks the entry with this text.
void menuEntry(QWidget *window, QAbstractItemView *view, const QString &path, const QString &entry);

// A user's step in a window or dialog: "actionX" triggers the menu entry,
// "name=value" sets the named spin box or combo box or types into the field,
// a name alone clicks the button.
void act(QWidget *root, const QString &step);

// Drives a real MainWindow the way a user does: answers the connection
// dialog the start-up timer opens, clicks buttons and menu entries, reads
// counters and the message log. Each driver has its own home folder.
class WindowDriver
{
public:
    // A home folder of its own, or the given one (shared with another process).
    explicit WindowDriver(const QString &home = QString());
    ~WindowDriver();

    MainWindow *window() const { return m_window.get(); }
    QString home() const { return m_homePath; }

    // The connection dialog once it is open (nullptr after a time-out).
    QWidget *waitForDialog(int timeoutMs = 5000) const;
    // Answer the open dialog on its TCP tab, or on its Serial tab with the
    // device listed as a port (a pty is no port the platform lists), and
    // press Connect; true when the dialog went.
    bool connectTcp(quint16 port, bool connectOnce);
    bool connectSerial(const QString &device, bool connectOnce);

    template<typename T = QWidget>
    T *widget(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    QString text(const char *label) const { return widget<QLabel>(label)->text(); }
    int count(const char *label) const { return text(label).toInt(); }
    // The frame counters as "polls/valid/errors".
    QString counters() const
    {
        return text("numofpolls") + '/' + text("numofvalid") + '/' + text("numoferror");
    }
    QString log() const { return widget<QPlainTextEdit>("feedback")->toPlainText(); }
    void click(const char *button) const
    {
        QTest::mouseClick(widget<QAbstractButton>(button), Qt::LeftButton);
    }
    // A menu entry, by its action's object name.
    void trigger(const char *action) const { widget<QAction>(action)->trigger(); }
    void act(const QString &step) const { ::act(m_window.get(), step); }

private:
    bool answer(int tab, bool connectOnce, const std::function<void(QWidget *)> &fill);

    QTemporaryDir m_home;
    QString m_homePath;
    std::unique_ptr<MainWindow> m_window;
};

// The test slave over TCP, or over RTU behind its own socat pty pair.
struct Rig
{
    PtyPair pty; // outlives the slave
    SlaveProcess slave;
    bool serial = false;
    QString error;

    bool start(bool serialLine, const QStringList &args = {});
    bool connect(WindowDriver &driver, bool connectOnce = true) const;
};
