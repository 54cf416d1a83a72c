#include "db/Statement.h"

#include "ParameterScan.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ValueForms.h"

namespace db {

TDbStatement::TDbStatement(TDbConnection* cn) : cn_(cn) {}

TDbStatement::~TDbStatement() = default;

void TDbStatement::SetSQL(const QStringList& lines) {
    SqlChanging();
    const ScannedSql scanned = ScanParameters(lines.join(u'\n'));
    std::vector<std::unique_ptr<TDbParameter>> old = std::move(params_);
    params_.clear();
    markerParams_.clear();
    for (const QString& name : scanned.markers) {
        int index = -1;
        for (size_t i = 0; i < params_.size(); ++i) {
            if (params_[i]->Name.compare(name, Qt::CaseInsensitive) == 0) {
                index = int(i);
                break;
            }
        }
        if (index < 0) {
            auto param = std::make_unique<TDbParameter>();
            for (const auto& previous : old) {
                if (previous && previous->Name.compare(name, Qt::CaseInsensitive) == 0) {
                    *param = *previous;
                    break;
                }
            }
            param->Name = name;
            index = int(params_.size());
            params_.push_back(std::move(param));
        }
        markerParams_.push_back(index);
    }
    sql_ = lines;
    parsed_ = scanned.text;
    markerAt_ = scanned.markerAt;
}

TDbParameter* TDbStatement::FindParam(const QString& name) {
    for (const auto& p : params_) {
        if (p->Name.compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    }
    return nullptr;
}

TDbParameter& TDbStatement::ParamByName(const QString& name) {
    TDbParameter* p = FindParam(name);
    if (!p)
        throw DbError(QStringLiteral("Parameter '%1' not found").arg(name));
    return *p;
}

TDbParameter& TDbStatement::Param(int i) {
    if (i < 0 || i >= ParamCount())
        throw DbError(QStringLiteral("Parameter index %1 out of range").arg(i));
    return *params_[size_t(i)];
}

StatementResult TDbStatement::Run() {
    BoundStatement statement{parsed_, markerAt_, {}};
    statement.values.reserve(markerParams_.size());
    const QString driver = cn_->QtDriver();
    const QString dbms = cn_->DbmsName();
    for (int index : markerParams_)
        statement.values.push_back(BindValue(*params_[size_t(index)], driver, dbms));
    return cn_->Run(statement);
}

} // namespace db
