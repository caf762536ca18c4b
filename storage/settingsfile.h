#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QString>
#include <QStringList>
#include <QStringView>

// The poll files used most recently, most recent first; an empty text marks a
// free slot. Five entries after start-up, more only when the file lists more.
extern QStringList recentFiles;

// Home directory + "/.quarvel", and the two settings files in it: the one
// read and written, and the older one read as a fallback only.
QString settingsFolder();
QString settingsFilePath();
QString olderSettingsFilePath();

// Fills the connection settings and recentFiles from the settings file (or
// the older one). Problems are never reported: a missing or broken file
// leaves the settings as they are and five empty recent entries.
void loadSettings();

// Writes the connection settings and recentFiles to the settings file,
// creating its folder when needed. Failures are silent.
void saveSettings();

// The file parsed as XML and serialised again with one-space indentation;
// empty when it cannot be opened, is not well-formed (hasLoneSurrogate), is
// nested absurdly deep or carries a DTD.
QString readXmlFile(const QString &path);

// True when the text holds a surrogate that is not half of a pair. No XML
// document can, yet the stream reader passes them on from UTF-16 and UTF-32
// files, and no save could write them back: the readers refuse such a file.
bool hasLoneSurrogate(QStringView text);

// Writes text to a file opened in text mode, replacing it (only once the new
// text is wholly written) or appending; does nothing when it cannot be opened.
void writeTextFile(const QString &path, const QString &text, bool append);

// A new element under parent, with a text child unless text is null (an empty
// but non-null text gives an empty text child).
QDomElement appendTextElement(QDomDocument &document, QDomNode &parent, const QString &name, const QString &text);
