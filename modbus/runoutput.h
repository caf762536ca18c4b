#pragma once

#include "modbus/pollrunner.h"

#include <cstdio>

// What pollwright-run prints: a table a person reads, CSV or one JSON object
// per poll on stdout; failed polls also on stderr with the report file's
// wording, and the summary there at the end.
class RunOutput
{
public:
    enum class Format { Table, Csv, Json };

    RunOutput(Format format, bool raw, FILE *out = stdout, FILE *err = stderr);

    void header();
    void result(const PollResult &result);
    // --dry-run: the frame a poll would send.
    void frame(int poll, const Request &request);
    void summary(int polls, int valid, int errors);

private:
    void write(FILE *file, const QString &text);
    void table(const PollResult &result, const QString &slave, const QString &function);
    void csv(const PollResult &result, const QString &slave, const QString &function);
    void json(const PollResult &result, const QString &slave, const QString &function);

    Format format;
    bool raw;
    FILE *out;
    FILE *err;
};
