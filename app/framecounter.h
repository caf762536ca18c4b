#pragma once

#include <QString>

// The frame counters are the texts of their labels. Counting reads the text
// as a decimal number (0 when it does not parse) and writes back one more.
QString incrementedCount(const QString &text);
