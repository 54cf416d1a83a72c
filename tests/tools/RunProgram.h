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

// What a program wrote, as text with LF line ends: a Windows program ends its lines with CR LF.
QString ProgramText(const QByteArray& output);

ProgramResult RunProgram(const QString& program, const QStringList& args,
                         const ProgramRun& run = {});

// What a program wrote, as text with LF line ends: a Windows program ends its lines with CR LF.
QString ProgramText(const QByteArray& output);

// True when the test runs as the superuser and can therefore run a program as "nobody".
bool CanDropPrivileges();
