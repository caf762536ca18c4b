#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// One configured Modbus request. Every field is text, named after the element
// of the poll file that stores it; numbers are decimal text.
struct Poll
{
    QString polldesc;
    QString slave;
    QString addrperitem;
    QString function;
    QString startaddr;
    QString val1; // count of items or coils
    QString val2; // data type index
    QString val3; // byte order
    QStringList write;
    QStringList desc;

    bool operator==(const Poll &other) const;
    bool operator!=(const Poll &other) const { return !(*this == other); }
};

constexpr int MaxPolls = 99;
// The largest count the editor offers (functions 1 and 2).
constexpr int MaxCoilCount = 2000;

// The process-wide polls; poll number n (1..99) is element n - 1. They outlive
// every window, and every part of the program reaches this same instance.
extern std::array<Poll, MaxPolls> PollStore;

// The stored sequence of poll numbers (what poll files hold).
extern QList<int> Sequence;

// Gives every poll its initial values: slave 1, function 3, start address 1,
// one item of one address, one write value "0" and one empty description.
void fillPollDefaults();

// The poll with the given number, or nullptr outside 1..99.
Poll *pollNumber(int number);
