#include "Station.h"

#include <QTimer>
#include <fstream>

#include "app/ErrorReport.h"
#include "app/_main.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
}

} // namespace

void Handler(const std::function<void()>& handler) {
    report::Run(handler);
}

void Cycle(Spooler& core) {
    report::Run([&] { core.ttTimer(); });
}

Station::Station(Backend backend) : database_(dbtest::TestDatabase::Create(backend)) {
    folder_ = database_->Folder().toStdString();
    oldCwd_ = fs::current_path();
    fs::current_path(folder_);
    cn_ = std::make_unique<db::TDbConnection>();
    cn_->SetConnectionString(database_->ConnectionString());

    report::SetSink({[this](const QString& caption, const QString& text) {
                         messages << caption + QStringLiteral(": ") + text;
                     },
                     [](const QString&) { return true; }});
}

Station::~Station() {
    report::ResetSink();
    cn_.reset();
    fs::current_path(oldCwd_);
}

void Station::WritePlinovaIni(const std::map<std::string, std::string>& opcoes,
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

void Station::WriteMolvarIni(const std::string& posto) {
    Put(folder_ / "Molvar.ini", "[OPCOES]\r\nPosto=" + posto + "\r\n");
}

void Station::WriteDefaults(int protocol) {
    WritePlinovaIni({{"Certificadora", "1"},
                     {"Porta Certificadora", "1"},
                     {"Protocolo Certificadora", std::to_string(protocol)},
                     {"Dispositivo Certificadora", printer_.DevicePath()}});
    WriteMolvarIni("7");
}

void Station::WriteDataLink(const std::string& initString) {
    Put(folder_ / "Molvar.udl", initString + "\r\n");
}

int Station::AddJob(int posto, int gaveta, int cartao, int titulo, const QString& keyword,
                    const QString& dados) {
    db::TDbCommand cmd(cn_.get());
    cmd.SetSQL(
        {QStringLiteral("INSERT INTO printer (posto, gaveta, cartao, titulo, palavrachave, dados)"),
         QStringLiteral("VALUES (:posto, :gaveta, :cartao, :titulo, :palavrachave, :dados)")});
    cmd.ParamByName(QStringLiteral("posto")).SetValue(posto);
    cmd.ParamByName(QStringLiteral("gaveta")).SetValue(gaveta);
    cmd.ParamByName(QStringLiteral("cartao")).SetValue(cartao);
    cmd.ParamByName(QStringLiteral("titulo")).SetValue(titulo);
    cmd.ParamByName(QStringLiteral("palavrachave")).SetValue(keyword);
    cmd.ParamByName(QStringLiteral("dados")).SetValue(dados);
    cmd.Execute();
    db::TDbQuery q(cn_.get());
    q.SetSQL({QStringLiteral("SELECT MAX(id) AS id FROM printer")});
    q.Open();
    const int id = q.FieldAsInteger(QStringLiteral("id"));
    q.Close();
    return id;
}

void Station::Sql(const QString& statement) {
    db::TDbCommand cmd(cn_.get());
    cmd.SetSQL({statement});
    cmd.Execute();
}

std::vector<QStringList> Station::Rows(const QString& select) {
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

std::unique_ptr<Tmain> Station::Start() {
    return std::make_unique<Tmain>(QString::fromStdString(folder_.string()));
}

std::unique_ptr<Tmain> Station::StartStopped() {
    auto w = Start();
    if (!w->Terminated())
        w->Core().tt.stop();
    return w;
}

bool Station::PrinterInitialised() {
    if (!printer_.WaitFor(printer::kInitialisationEnd, std::chrono::seconds(10)))
        return false;
    printer_.Clear();
    return true;
}
