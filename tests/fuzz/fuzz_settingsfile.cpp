#include "fuzzing.h"

#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"

#include <QDir>
#include <QTemporaryDir>

// Arbitrary bytes as the settings file in a temporary home folder. Whatever
// they load as must save and load back the same, but for whitespace-only
// texts, which load as empty.

namespace {

// Every setting as text, so a mismatch can be printed and compared at once.
QStringList fields(const ConnectionSettings &c, const QStringList &recent)
{
    return QStringList{c.serialMode ? "serial" : "tcp",
                       c.connectOnce ? "once" : "per poll",
                       c.portName,
                       QString::number(c.baudRate),
                       QString::number(c.dataBits),
                       QString::number(c.parity),
                       QString::number(c.stopBits),
                       QString::number(c.flowControl),
                       c.ipAddress,
                       QString::number(c.tcpPort),
                       c.loggingOn ? "logging" : "no logging",
                       c.logFolder}
           + recent;
}

// The settings as loading their own save gives them back.
QStringList afterSave(ConnectionSettings c, QStringList recent)
{
    c.portName = savedText(c.portName);
    c.ipAddress = savedText(c.ipAddress);
    c.logFolder = savedText(c.logFolder);
    c.loggingOn = c.loggingOn && !c.logFolder.isEmpty();
    for (QString &entry : recent)
        entry = savedText(entry);
    return fields(c, recent);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static QTemporaryDir home;
    if (!home.isValid())
        broken("no temporary folder");
    qputenv("HOME", QFile::encodeName(home.path()));
    if (!QDir().mkpath(settingsFolder()))
        broken("cannot create the settings folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeInput(settingsFilePath(), data, size);
    Connection = ConnectionSettings();
    recentFiles.clear();
    loadSettings();
    const QStringList expected = afterSave(Connection, recentFiles);

    saveSettings();
    Connection = ConnectionSettings();
    Connection.portName = QStringLiteral("not loaded");
    recentFiles = QStringList{QStringLiteral("not loaded")};
    loadSettings();
    const QStringList loaded = fields(Connection, recentFiles);
    if (loaded != expected) {
        std::fprintf(stderr, "expected: [%s]\nloaded:   [%s]\n", qPrintable(expected.join("] [")),
                     qPrintable(loaded.join("] [")));
        broken("the settings changed through a save and a load");
    }
    return 0;
}
