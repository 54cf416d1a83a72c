#include "StationFolder.h"

#include <chrono>
#include <fstream>

#include "PrinterBytes.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
}

} // namespace

StationFolder::StationFolder(Backend backend)
    : database_(dbtest::TestDatabase::Create(backend)), folder_(database_->Folder().toStdString()),
      cn_(std::make_unique<db::TDbConnection>()) {
    cn_->SetConnectionString(database_->ConnectionString());
}

StationFolder::~StationFolder() = default;

Spooler::Setup StationFolder::Setup() const {
    Spooler::Setup setup;
    setup.programFolder = QString::fromStdString(folder_.string());
    setup.stationFolder = setup.programFolder;
    setup.ticks = ticks;
    return setup;
}

void StationFolder::WritePlinovaIni(const std::map<std::string, std::string>& opcoes,
                                    const std::map<std::string, std::string>& vandrel) {
    std::string s = "[OPCOES]\r\n";
    for (const auto& [k, v] : opcoes)
        s += k + "=" + v + "\r\n";
    if (!vandrel.empty()) {
        s += "[vandrel]\r\n";
        for (const auto& [k, v] : vandrel)
            s += k + "=" + v + "\r\n";
    }
    Put(folder_ / "Plinova.ini", s);
}

void StationFolder::WriteMolvarIni(const std::string& posto) {
    Put(folder_ / "Molvar.ini", "[OPCOES]\r\nPosto=" + posto + "\r\n");
}

void StationFolder::WriteDefaults(int protocol) {
    WritePlinovaIni({{"Certificadora", "1"},
                     {"Porta Certificadora", "1"},
                     {"Protocolo Certificadora", std::to_string(protocol)},
                     {"Dispositivo Certificadora", printer_.DevicePath()}});
    WriteMolvarIni("7");
}

void StationFolder::WriteDataLink(const std::string& initString) {
    Put(folder_ / "Molvar.udl", initString + "\r\n");
}

int StationFolder::AddJob(int posto, int gaveta, int cartao, int titulo, const QString& keyword,
                          const QString& dados) {
    dbtest::QueueJob(*cn_, {posto, gaveta, cartao, titulo, keyword, dados});
    return dbtest::LastJobId(*cn_);
}

void StationFolder::Sql(const QString& statement) {
    db::TDbCommand cmd(cn_.get());
    cmd.SetSQL({statement});
    cmd.Execute();
}

std::vector<QStringList> StationFolder::Rows(const QString& select) {
    db::TDbQuery q(cn_.get());
    q.SetSQL({select});
    q.Open();
    std::vector<QStringList> rows;
    for (int r = 0; r < q.RecordCount(); ++r) {
        QStringList row;
        for (int c = 0; c < q.FieldCount(); ++c) {
            const QVariant v = q.Value(r, c);
            row << (v.isNull() ? QStringLiteral("<null>") : v.toString());
        }
        rows.push_back(row);
    }
    q.Close();
    return rows;
}

bool StationFolder::PrinterInitialised() {
    if (!printer_.WaitFor(printer::kInitialisationEnd, std::chrono::seconds(10)))
        return false;
    printer_.Clear();
    return true;
}
