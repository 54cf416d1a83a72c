#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What a program run to its end left: its exit status and its two outputs.
struct ProgramResult {
    int code = -1;
    QString out;
    QString err;
};

struct ProgramRun {
    QString workingFolder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QByteArray input;
    // Run as the unprivileged user "nobody" when the test runs as the superuser, whom no
    // permission stops.
    bool unprivileged = false;
};

ProgramResult RunProgram(const QString& program, const QStringList& args,
                         const ProgramRun& run = {});

// True when the test runs as the superuser and can therefore run a program as "nobody".
bool CanDropPrivileges();
