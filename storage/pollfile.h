#pragma once

#include <QString>

// The poll file: one XML document holding Sequence and all 99 records of
// PollStore (app/pollstore.h). The save and load flows of the main window call
// these with the path the file browser gave.

// Writes Sequence and every record of PollStore to the file: a declaration,
// the root "polls", the element "Sequence" with one "S" per entry, then
// "Poll1" to "Poll99" with their ten fields in file order. Characters XML 1.0
// cannot hold (control characters, U+FFFE, U+FFFF, lone surrogates) are left
// out, so that every saved file loads. The old file is replaced only by a
// complete new one (writeTextFile); a file that cannot be written is left as
// it was, and nothing is reported.
void savePollFile(const QString &path);

// Reads the file into Sequence and PollStore and returns the message to show,
// or an empty text on success. It shows no message box itself: the caller
// shows a non-empty result in a warning box titled "File Error".
//
// "Couldn't Load File": missing, not a regular file, unreadable, empty, not
// well-formed (a lone surrogate counts as not well-formed), nested more than
// 256 levels, carrying a DTD or larger than 64 MiB; nothing has changed.
// "Invalid file": the first node under the root is not an element named
// "Sequence", a sequence entry is not a number from 1 to 99, or the second
// node is not an element with "slave", "function" and "write"; PollStore is
// unchanged and Sequence holds only the entries read before the bad one.
//
// Poll nodes map to records by position. A file with more than 99 poll nodes
// loads the first 99 and ignores the rest. Records past the last poll node
// keep their contents.
//
// The window's working copy of the sequence is not touched here: after a
// successful load the window replaces its workingSequence with Sequence.
QString loadPollFile(const QString &path);
