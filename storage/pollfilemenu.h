#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>

class QAction;
class QSignalMapper;

// The poll-file entries of the main window's menu: the browser that chooses
// a file to save or load, the save and load themselves, and the list of
// recent files with its five menu actions.
class PollFileMenu
{
public:
    // chosenPath and lastPollFile belong to the window and outlive this.
    PollFileMenu(QWidget *window, QString &chosenPath, QString &lastPollFile,
                 const std::array<QAction *, 5> &recentActions);
    // A browser still open is closed without a choice.
    ~PollFileMenu();
    PollFileMenu(const PollFileMenu &) = delete;
    PollFileMenu &operator=(const PollFileMenu &) = delete;

    // Opens the browser centred over the window; when it goes, whether chosen
    // or cancelled, the slot runs and reads chosenPath.
    template <typename Receiver>
    void openBrowser(bool isSave, Receiver *receiver, void (Receiver::*slot)())
    {
        if (QWidget *opened = createBrowser(isSave))
            QObject::connect(opened, &QObject::destroyed, receiver, slot);
    }

    enum class Load { Nothing, Loaded, Failed };
    // Loads chosenPath, if one was chosen, and remembers it as the last poll
    // file; a good load goes to the front of the recent list, a failed one
    // leaves the list and gives the text to show.
    Load load(QString *error);
    // Saves to chosenPath, if one was chosen; a failed write is silent, and
    // the path enters the recent list all the same.
    void save();
    // Takes a recent entry as the chosen path; false for a free slot.
    bool chooseRecent(int index);

    void addRecentFile(const QString &path);
    void updateRecentMenu();
    // The recent actions mapped to 0..4, triggering the mapper.
    void mapRecentActions(QSignalMapper *mapper) const;

private:
    QWidget *createBrowser(bool isSave);

    QWidget *window;
    QString &chosenPath;
    QString &lastPollFile;
    std::array<QAction *, 5> recentActions;
    QPointer<QWidget> browser;
};
