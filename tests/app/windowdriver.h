#pragma once

#include "app/mainwindow.h"

#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class serialinfo;

// Drives a real MainWindow the way a user does: answers the connection
// dialog the start-up timer opens, clicks buttons, reads counters and the
// message log. Each driver has its own home folder for the settings file.
class WindowDriver
{
public:
    // A home folder of its own, or the given one (shared with another process).
    explicit WindowDriver(const QString &home = QString());
    ~WindowDriver();

    MainWindow *window() const { return m_window.get(); }
    QString home() const { return m_homePath; }

    // The connection dialog once it is open (nullptr after a time-out).
    serialinfo *waitForDialog(int timeoutMs = 5000) const;
    // Answers the open dialog on its TCP tab and presses Connect.
    bool connectTcp(quint16 port, bool connectOnce, const QString &address = QStringLiteral("127.0.0.1"));
    // Sets the serial settings (a pty is not listed by the dialog) and closes
    // the dialog, which makes the window connect with them.
    bool connectSerial(const QString &device, bool connectOnce);

    template<typename T = QWidget>
    T *widget(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    QString text(const char *label) const;
    int count(const char *label) const { return text(label).toInt(); }
    QString log() const;
    void click(const char *button) const;

private:
    QTemporaryDir m_home;
    QString m_homePath;
    std::unique_ptr<MainWindow> m_window;
};

// Processes events until done() answers true or timeoutMs has passed; answers
// done(). Unlike QTest::qWait it does not sleep between rounds of events, so
// the window's 1 ms timers keep their pace.
bool pumpUntil(const std::function<bool()> &done, int timeoutMs);

// Open file descriptors of this process.
int openDescriptors();
