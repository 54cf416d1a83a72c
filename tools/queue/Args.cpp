#include "Args.h"

std::optional<QString> Args::Option(const QString& name) {
    const qsizetype i = list_.indexOf(name);
    if (i < 0)
        return std::nullopt;
    if (i + 1 >= list_.size())
        throw UsageError(("missing value after " + name).toStdString());
    const QString value = list_.at(i + 1);
    list_.remove(i, 2);
    return value;
}

std::optional<qint32> Args::IntOption(const QString& name) {
    const auto text = Option(name);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const qint32 v = text->toInt(&ok);
    if (!ok)
        throw UsageError(("not an integer after " + name + ": " + *text).toStdString());
    return v;
}

qint32 Args::RequiredInt(const QString& name) {
    const auto v = IntOption(name);
    if (!v)
        throw UsageError(("missing " + name).toStdString());
    return *v;
}

QString Args::TakeFirst(const QString& what) {
    if (list_.isEmpty())
        throw UsageError(("missing " + what).toStdString());
    return list_.takeFirst();
}

std::optional<QString> Args::TakeLeadingOption() {
    if (list_.isEmpty() || !list_.first().startsWith(QLatin1String("--")))
        return std::nullopt;
    return list_.takeFirst();
}

void Args::ExpectEnd() const {
    if (!list_.isEmpty())
        throw UsageError(("unexpected argument: " + list_.first()).toStdString());
}
