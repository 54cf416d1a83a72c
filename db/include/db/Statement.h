#pragma once

#include "db/Engine.h"
#include "db/Parameter.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace db {

class TDbConnection;

// What queries and commands share: the SQL text as lines, its parameter markers and the
// parameters they bind. Markers of the same name share one parameter.
class TDbStatement {
public:
    explicit TDbStatement(TDbConnection* cn);
    virtual ~TDbStatement();
    TDbStatement(const TDbStatement&) = delete;
    TDbStatement& operator=(const TDbStatement&) = delete;

    // Sets the text (lines joined by line breaks) and rescans its markers; parameters whose
    // name is still used keep their type, size and value.
    void SetSQL(const QStringList& lines);
    QStringList SQL() const { return sql_; }
    QString ParsedSQL() const { return parsed_; } // markers replaced by "?"

    // Names compare without regard to case. DbError "Parameter '<name>' not found".
    TDbParameter& ParamByName(const QString& name);
    TDbParameter* FindParam(const QString& name);
    int ParamCount() const { return int(params_.size()); }
    TDbParameter& Param(int i);

    TDbConnection* Connection() const { return cn_; }

protected:
    // Called before the text changes (a query closes itself here).
    virtual void SqlChanging() {}
    // Runs the statement on the connection, which the caller has acquired, with each marker
    // bound by its position.
    StatementResult Run();

    TDbConnection* cn_;

private:
    QStringList sql_;
    QString parsed_;
    std::vector<std::unique_ptr<TDbParameter>> params_;
    std::vector<int> markerParams_; // the parameter index bound by each marker, in text order
    QList<qsizetype> markerAt_;     // where each marker's "?" stands in parsed_
};

} // namespace db
