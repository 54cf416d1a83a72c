#include "JobCommands.h"

#include <QFile>
#include <QTextStream>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <utility>

#include "Args.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "db/Schema.h"

namespace {

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

// Runs the query and prints the fields of its rows, tab-separated, a line each.
void PrintRows(db::TDbQuery& q, const std::initializer_list<const char*>& fields) {
    q.Open();
    QTextStream out(stdout);
    QStringList names;
    for (const char* name : fields)
        names << QString::fromLatin1(name);
    out << names.join(QLatin1Char('\t')) << '\n';
    for (q.First(); !q.Eof(); q.Next()) {
        QStringList cells;
        for (const QString& f : names) {
            QString v = q.FieldAsString(f);
            v.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
            v.replace(QLatin1Char('\t'), QLatin1Char(' '));
            cells << v;
        }
        out << cells.join(QLatin1Char('\t')) << '\n';
    }
    q.Close();
}

} // namespace

int InitCommand(db::TDbConnection& cn, Args& args) {
    args.ExpectEnd();
    db::CreateTables(cn);
    return 0;
}

int AddCommand(db::TDbConnection& cn, Args& args, bool drawer) {
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

int ListCommand(db::TDbConnection& cn, Args& args) {
    const auto station = args.IntOption(QStringLiteral("--station"));
    args.ExpectEnd();
    db::TDbQuery q(&cn);
    if (station) {
        q.SetSQL({QStringLiteral("SELECT * FROM printer WHERE posto = :posto ORDER BY id")});
        q.ParamByName(QStringLiteral("posto")).SetValue(*station);
    } else {
        q.SetSQL({QStringLiteral("SELECT * FROM printer ORDER BY id")});
    }
    PrintRows(q, {"id", "posto", "gaveta", "cartao", "titulo", "palavrachave", "dados"});
    return 0;
}

int HistoryCommand(db::TDbConnection& cn, Args& args) {
    args.ExpectEnd();
    db::TDbQuery q(&cn);
    q.SetSQL({QStringLiteral("SELECT * FROM historico ORDER BY id DESC")});
    PrintRows(q, {"id", "datahora", "cartao", "titulo", "palavrachave", "previsao", "datavalor"});
    return 0;
}

int ConfigCommand(db::TDbConnection& cn, Args& args) {
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
