#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

// A wrong command line: the tool shows the message and its usage and ends with status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The arguments a command has not consumed yet; options are taken out wherever they stand.
class Args {
public:
    explicit Args(QStringList list) : list_(std::move(list)) {}

    bool Flag(const QString& name) { return list_.removeAll(name) > 0; }
    std::optional<QString> Option(const QString& name);
    std::optional<qint32> IntOption(const QString& name);
    qint32 RequiredInt(const QString& name);
    // The next argument; `what` names it when it is missing.
    QString TakeFirst(const QString& what = QStringLiteral("argument"));
    // The next argument when it is an option ("--..."), which it then takes out.
    std::optional<QString> TakeLeadingOption();
    void ExpectEnd() const;

private:
    QStringList list_;
};
