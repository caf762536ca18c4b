#include "storage/pollfilemenu.h"

#include "app/pollstore.h"
#include "storage/pollfile.h"
#include "storage/recentfiles.h"
#include "storage/settingsfile.h"
#include "windows/dialogs.h"
#include "windows/fileexplorer.h"

#include <QAction>
#include <QSignalMapper>

PollFileMenu::PollFileMenu(QWidget *window_, QString &chosenPath_, QString &lastPollFile_,
                           const std::array<QAction *, 5> &recentActions_)
    : window(window_)
    , chosenPath(chosenPath_)
    , lastPollFile(lastPollFile_)
    , recentActions(recentActions_)
{}

PollFileMenu::~PollFileMenu()
{
    if (browser) {
        browser->disconnect();
        delete browser;
    }
}

QWidget *PollFileMenu::createBrowser(bool isSave)
{
    // The browser is application-modal, so a second one cannot be asked for
    // while it is open; should it be, the first keeps chosenPath to itself.
    if (browser)
        return nullptr;
    auto *opened = new fileexplorer(isSave, &chosenPath,
                                    RecentFiles::browserStart(chosenPath, lastPollFile, recentFiles), nullptr);
    browser = opened;
    if (isSave) {
        opened->show();
        opened->setAttribute(Qt::WA_DeleteOnClose);
        Dialogs::centreOver(opened, window);
    } else {
        opened->setWindowFlags(opened->windowFlags() | Qt::WindowStaysOnTopHint);
        Dialogs::centreOver(opened, window);
        opened->show();
        opened->setAttribute(Qt::WA_DeleteOnClose);
    }
    return opened;
}

PollFileMenu::Load PollFileMenu::load(QString *error)
{
    if (chosenPath.isEmpty())
        return Load::Nothing;
    lastPollFile = chosenPath;
    *error = loadPollFile(chosenPath);
    if (!error->isEmpty())
        return Load::Failed;
    addRecentFile(chosenPath);
    updateRecentMenu();
    return Load::Loaded;
}

void PollFileMenu::save()
{
    if (chosenPath.isEmpty())
        return;
    savePollFile(chosenPath);
    addRecentFile(chosenPath);
    updateRecentMenu();
}

bool PollFileMenu::chooseRecent(int index)
{
    const QString path = recentFiles.value(index);
    if (path.isEmpty())
        return false;
    chosenPath = path;
    return true;
}

void PollFileMenu::addRecentFile(const QString &path)
{
    recentFiles = RecentFiles::withFile(recentFiles, path);
    saveSettings();
}

void PollFileMenu::updateRecentMenu()
{
    if (recentFiles.isEmpty())
        return;
    for (size_t i = 0; i < recentActions.size(); ++i)
        recentActions[i]->setText(recentFiles.value(int(i)));
}

void PollFileMenu::mapRecentActions(QSignalMapper *mapper) const
{
    for (size_t i = 0; i < recentActions.size(); ++i) {
        mapper->setMapping(recentActions[i], int(i));
        QObject::connect(recentActions[i], &QAction::triggered, mapper,
                         static_cast<void (QSignalMapper::*)()>(&QSignalMapper::map));
    }
}
