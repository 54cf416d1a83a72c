#include "SpoolerPrivate.h"

#include <QDateTime>
#include <cstdio>

#include "CycleStatements.h"
#include "DataLinkLocation.h"
#include "Pause.h"
#include "app/core/ConfigValues.h"
#include "app/core/SpoolerView.h"
#include "db/DataLink.h"
#include "platform/ProfileFile.h"

namespace {

std::string InFolder(const QString& folder, const char* name) {
    return FileInFolder(folder, QLatin1String(name)).toStdString();
}

// Reads an integer key; `def` when missing, `fallback` when the text is not an integer.
qint32 ReadIntKey(const std::string& file, const char* section, const char* key, const char* def,
                  std::size_t chars, qint32 fallback) {
    const std::string text = platform::ReadProfileString(file, section, key, def, chars + 1);
    return config::ParseInteger(text).value_or(fallback);
}

} // namespace

SpoolerPrivate::SpoolerPrivate(SpoolerView& view, Setup setup)
    : view_(view), setup_(std::move(setup)),
      ticks_(setup_.ticks != nullptr ? *setup_.ticks : pacing::SystemTicks()),
      journal_(FileInFolder(setup_.stationFolder, QLatin1String(journal::kFileName)),
               setup_.journalWrite) {
    cpcert.SetSyncHost(setup_.syncHost);
    q_print.SetSQL(cycle::SelectQueue());
    q_configposto.SetSQL(
        {QStringLiteral("SELECT valor FROM configpostos"),
         QStringLiteral("WHERE (posto = 0) AND (seccao = :seccao) AND (chave = :chave)")});
    q_addhist.SetSQL(cycle::InsertHistory());
    q_delete.SetSQL(cycle::DeleteJob());
    q_delhist.SetSQL({QStringLiteral("DELETE FROM historico WHERE datavalor < :datavalor")});
    // Matched from a second before the row's time: a column that rounds its times (a
    // SQL Server datetime) still matches, and an older row of an id issued again does not.
    withdrawHistory_.SetSQL(
        {QStringLiteral("DELETE FROM historico WHERE id = :id AND datahora >= :since")});
    findHistory_.SetSQL(
        {QStringLiteral("SELECT id FROM historico WHERE id = :id AND datahora >= :since")});

    tt.setInterval(1000);
    // The next cycle must never come before a full second has passed.
    tt.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tt, &QTimer::timeout, &tt,
                     [this] { view_.RunHandler([this] { ttTimer(); }); });
}

std::string SpoolerPrivate::PlinovaIni() const {
    return InFolder(setup_.stationFolder, "Plinova.ini");
}

SpoolerPrivate::Refusal SpoolerPrivate::Prepare() {
    cn.SetConnectionString(
        db::DataLinkFileConnectionString(DataLinkPath(setup_.programFolder, setup_.stationFolder)));
    const std::string plinovaIni = PlinovaIni();
    const std::string molvarIni = InFolder(setup_.stationFolder, "Molvar.ini");

    if (ReadIntKey(plinovaIni, "OPCOES", "Certificadora", "0", 4, 0) == 0)
        return Refusal::PrinterDisabled;
    const qint32 portNumber = ReadIntKey(plinovaIni, "OPCOES", "Porta Certificadora", "0", 4, 0);
    Protocolo = ReadIntKey(plinovaIni, "OPCOES", "Protocolo Certificadora", "0", 4, 0);
    Posto = ReadIntKey(molvarIni, "OPCOES", "Posto", "0", 4, 0);

    try {
        OffsetInicial = config::ParseInteger(
                            ReadGlobalConfig(QStringLiteral("OFFSET INICIAL"), QStringLiteral("0"))
                                .toStdString())
                            .value_or(0);
    } catch (const std::exception&) {
        // The offset is optional: without a reachable database or a valid value, no offset.
        OffsetInicial = 0;
    }

    const std::string limit =
        platform::ReadProfileString(plinovaIni, "OPCOES", "Hora limite", "0", 10);
    const QTime dayChange = config::ParseTimeOfDay(limit).value_or(QTime(0, 0));
    DataValor = config::BusinessDate(QDateTime::currentDateTime(), dayChange);

    // On Linux a device path may name the printer's port directly.
    const std::string device =
        platform::ReadProfileString(plinovaIni, "OPCOES", "Dispositivo Certificadora", "", 256);
    cpcert.SetPort(device.empty() ? "COM" + std::to_string(portNumber) : device);
    if (Protocolo != 0) {
        cpcert.FlowControl().SetFlowControl(fcHardware);
        cpcert.FlowControl().SetControlRTS(rtsHandshake);
    } else {
        cpcert.FlowControl().SetFlowControl(fcNone);
        cpcert.FlowControl().SetControlRTS(rtsDisable);
    }
    try {
        cpcert.Open();
    } catch (const std::exception& e) {
        // The operator's message says only that the port cannot be opened; the reason is
        // for whoever sets the station up.
        Note(QString::fromStdString(cpcert.Port()) + QStringLiteral(": ") +
             QString::fromUtf8(e.what()));
        return Refusal::PortUnavailable;
    }
    return Refusal::None;
}

void SpoolerPrivate::Start() {
    ReadJournal();
    SendInitialisation();

    q_delhist.ParamByName(QStringLiteral("datavalor")).SetValue(DataValor.startOfDay());
    q_delhist.Execute();

    tt.start();
}

void SpoolerPrivate::ClosePort() {
    if (cpcert.Connected()) {
        std::string byte;
        while (cpcert.InputQueued() != 0)
            cpcert.ReadText(byte, 1);
        cpcert.Close();
    }
}

void SpoolerPrivate::ReadJournal() {
    const journal::Loaded loaded = journal_.Load(Posto);
    for (const QString& line : loaded.log)
        Note(line);
    if (!loaded.notice.isEmpty())
        view_.ShowNotice(loaded.notice);
}

void SpoolerPrivate::Note(const QString& text) {
    if (setup_.log) {
        setup_.log(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

void SpoolerPrivate::NoteOnJob(qint32 id, const QString& what) {
    Note(journal_.Path() + QStringLiteral(": ") + what.arg(id));
}

QString SpoolerPrivate::ReadGlobalConfig(const QString& key, const QString& def) {
    q_configposto.ParamByName(QStringLiteral("seccao")).SetValue(QStringLiteral("GLOBAL"));
    QString upper = key;
    for (QChar& c : upper)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    q_configposto.ParamByName(QStringLiteral("chave")).SetValue(upper);
    q_configposto.Open();
    QString result = def;
    if (!q_configposto.IsEmpty())
        result = q_configposto.FieldAsString(QStringLiteral("valor"));
    q_configposto.Close();
    return result;
}

Spooler::Spooler(SpoolerView& view, Setup setup)
    : d_(std::make_unique<SpoolerPrivate>(view, std::move(setup))) {}

Spooler::~Spooler() = default;

Spooler::Refusal Spooler::Prepare() {
    return d_->Prepare();
}

void Spooler::Start() {
    d_->Start();
}

void Spooler::ClosePort() {
    d_->ClosePort();
}

std::string Spooler::PortName() const {
    return d_->cpcert.Port();
}

db::TDbConnection& Spooler::Database() {
    return d_->cn;
}

std::string Spooler::PlinovaIni() const {
    return d_->PlinovaIni();
}

bool Spooler::Polling() const {
    return d_->tt.isActive();
}

void Spooler::StopPolling() {
    d_->tt.stop();
}

void Spooler::Reprint(const QString& dados) {
    d_->Reprint(dados);
}

bool Spooler::Busy() const {
    return d_->busy_;
}

void Spooler::RequestStop() {
    d_->stopRequested_ = true;
}
