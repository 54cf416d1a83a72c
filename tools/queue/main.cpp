// plinova-queue: queues print and drawer jobs for a station, shows the queue and the
// history, sets global configuration values and creates the tables, on the database that a
// data link file names.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <optional>

#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/Schema.h"

namespace {

const char* const kUsage =
    "usage: plinova-queue [--udl FILE] COMMAND [options]\n"
    "\n"
    "  --udl FILE   data link file naming the database (default: Molvar.udl in the current "
    "folder)\n"
    "\n"
    "commands:\n"
    "  init                               create the tables when missing\n"
    "  add --station N [--card N] [--title] [--keyword K] (--text T | --file F | --stdin)\n"
    "                                     queue a print job\n"
    "  drawer --station N [--card N]      queue a cash-drawer job\n"
    "  list [--station N]                 show the queued jobs\n"
    "  history                            show the history, newest job first\n"
    "  config KEY VALUE                   set a global configuration value (e.g. \"OFFSET "
    "INICIAL\" 2)\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Args {
public:
    explicit Args(QStringList list) : list_(std::move(list)) {}

    bool Flag(const QString& name) { return list_.removeAll(name) > 0; }

    std::optional<QString> Option(const QString& name) {
        const qsizetype i = list_.indexOf(name);
        if (i < 0)
            return std::nullopt;
        if (i + 1 >= list_.size())
            throw UsageError(("missing value after " + name).toStdString());
        const QString value = list_.at(i + 1);
        list_.remove(i, 2);
        return value;
    }

    std::optional<qint32> IntOption(const QString& name) {
        const auto text = Option(name);
        if (!text)
            return std::nullopt;
        bool ok = false;
        const qint32 v = text->toInt(&ok);
        if (!ok)
            throw UsageError(("not an integer after " + name + ": " + *text).toStdString());
        return v;
    }

    qint32 RequiredInt(const QString& name) {
        const auto v = IntOption(name);
        if (!v)
            throw UsageError(("missing " + name).toStdString());
        return *v;
    }

    QString TakeFirst() {
        if (list_.isEmpty())
            throw UsageError("missing argument");
        return list_.takeFirst();
    }

    void ExpectEnd() const {
        if (!list_.isEmpty())
            throw UsageError(("unexpected argument: " + list_.first()).toStdString());
    }

private:
    QStringList list_;
};

QString ReadAllStdin() {
    std::string all((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    return QString::fromUtf8(all.data(), static_cast<qsizetype>(all.size()));
}

// Job texts separate their lines with CR LF, as the printer expects.
QString WithCrLf(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void Execute(db::TDbConnection& cn, const QStringList& sql,
             const std::initializer_list<std::pair<const char*, QVariant>>& params) {
    db::TDbCommand cmd(&cn);
    cmd.SetSQL(sql);
    for (const auto& [name, value] : params)
        cmd.ParamByName(QString::fromLatin1(name)).SetValue(value);
    cmd.Execute();
}

int Add(db::TDbConnection& cn, Args& args, bool drawer) {
    const qint32 station = args.RequiredInt(QStringLiteral("--station"));
    const qint32 card = args.IntOption(QStringLiteral("--card")).value_or(0);
    QString text;
    bool title = false;
    QString keyword;
    if (!drawer) {
        title = args.Flag(QStringLiteral("--title"));
        keyword = args.Option(QStringLiteral("--keyword")).value_or(QString());
        if (keyword.size() > 255)
            throw UsageError("the keyword holds at most 255 characters");
        if (const auto t = args.Option(QStringLiteral("--text"))) {
            text = *t;
        } else if (const auto f = args.Option(QStringLiteral("--file"))) {
            QFile file(*f);
            if (!file.open(QIODevice::ReadOnly))
                throw std::runtime_error(
                    ("cannot read " + *f + ": " + file.errorString()).toStdString());
            text = QString::fromUtf8(file.readAll());
        } else if (args.Flag(QStringLiteral("--stdin"))) {
            text = ReadAllStdin();
        } else {
            throw UsageError("give the text with --text, --file or --stdin");
        }
    }
    args.ExpectEnd();
    Execute(
        cn,
        {QStringLiteral("INSERT INTO printer (posto, gaveta, cartao, titulo, palavrachave, dados)"),
         QStringLiteral("VALUES (:posto, :gaveta, :cartao, :titulo, :palavrachave, :dados)")},
        {{"posto", station},
         {"gaveta", drawer ? 1 : 0},
         {"cartao", card},
         {"titulo", title ? 1 : 0},
         {"palavrachave", keyword},
         {"dados", WithCrLf(text)}});
    return 0;
}

void PrintRows(db::TDbQuery& q, const QStringList& fields) {
    QTextStream out(stdout);
    out << fields.join(QLatin1Char('\t')) << '\n';
    for (q.First(); !q.Eof(); q.Next()) {
        QStringList cells;
        for (const QString& f : fields) {
            QString v = q.FieldAsString(f);
            v.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
            v.replace(QLatin1Char('\t'), QLatin1Char(' '));
            cells << v;
        }
        out << cells.join(QLatin1Char('\t')) << '\n';
    }
}

int List(db::TDbConnection& cn, Args& args) {
    const auto station = args.IntOption(QStringLiteral("--station"));
    args.ExpectEnd();
    db::TDbQuery q(&cn);
    if (station) {
        q.SetSQL({QStringLiteral("SELECT * FROM printer WHERE posto = :posto ORDER BY id")});
        q.ParamByName(QStringLiteral("posto")).SetValue(*station);
    } else {
        q.SetSQL({QStringLiteral("SELECT * FROM printer ORDER BY id")});
    }
    q.Open();
    PrintRows(q, {QStringLiteral("id"), QStringLiteral("posto"), QStringLiteral("gaveta"),
                  QStringLiteral("cartao"), QStringLiteral("titulo"),
                  QStringLiteral("palavrachave"), QStringLiteral("dados")});
    q.Close();
    return 0;
}

int History(db::TDbConnection& cn, Args& args) {
    args.ExpectEnd();
    db::TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT * FROM historico ORDER BY id DESC")});
    q.Open();
    PrintRows(q, {QStringLiteral("id"), QStringLiteral("datahora"), QStringLiteral("cartao"),
                  QStringLiteral("titulo"), QStringLiteral("palavrachave"),
                  QStringLiteral("previsao"), QStringLiteral("datavalor")});
    q.Close();
    return 0;
}

int Config(db::TDbConnection& cn, Args& args) {
    const QString key = args.TakeFirst().toUpper();
    const QString value = args.TakeFirst();
    args.ExpectEnd();
    if (key.size() > 50 || value.size() > 255)
        throw UsageError("the key holds at most 50 characters and the value 255");
    cn.BeginTransaction();
    try {
        Execute(cn,
                {QStringLiteral("DELETE FROM configpostos WHERE posto = 0 AND seccao = :seccao AND "
                                "chave = :chave")},
                {{"seccao", QStringLiteral("GLOBAL")}, {"chave", key}});
        Execute(cn,
                {QStringLiteral("INSERT INTO configpostos (posto, seccao, chave, valor)"),
                 QStringLiteral("VALUES (0, :seccao, :chave, :valor)")},
                {{"seccao", QStringLiteral("GLOBAL")}, {"chave", key}, {"valor", value}});
        cn.CommitTransaction();
    } catch (...) {
        cn.RollbackTransaction();
        throw;
    }
    return 0;
}

int Run(QStringList argv) {
    Args args(std::move(argv));
    if (args.Flag(QStringLiteral("--help")) || args.Flag(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const QString udl = args.Option(QStringLiteral("--udl")).value_or(QStringLiteral("Molvar.udl"));
    const QString command = args.TakeFirst();

    db::TDbConnection cn;
    cn.SetConnectionString(QStringLiteral("FILE NAME=") + QFileInfo(udl).absoluteFilePath());
    if (command == QLatin1String("init")) {
        args.ExpectEnd();
        db::CreateTables(cn);
        return 0;
    }
    if (command == QLatin1String("add"))
        return Add(cn, args, false);
    if (command == QLatin1String("drawer"))
        return Add(cn, args, true);
    if (command == QLatin1String("list"))
        return List(cn, args);
    if (command == QLatin1String("history"))
        return History(cn, args);
    if (command == QLatin1String("config"))
        return Config(cn, args);
    throw UsageError(("unknown command: " + command).toStdString());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList list = QCoreApplication::arguments();
    list.removeFirst();
    try {
        return Run(list);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "plinova-queue: %s\n\n%s", e.what(), kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plinova-queue: %s\n", e.what());
        return 1;
    }
}
