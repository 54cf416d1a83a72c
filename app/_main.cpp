#include "app/_main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

#include "app/ConfigValues.h"
#include "app/DataLinkLocation.h"
#include "app/ErrorReport.h"
#include "app/HistoryModel.h"
#include "platform/ProfileFile.h"

namespace {

const char* const kPlinovaIni = ".\\Plinova.ini";
const char* const kMolvarIni = ".\\Molvar.ini";

// Reads an integer key; `def` when missing, `fallback` when the text is not an integer.
qint32 ReadIntKey(const char* file, const char* section, const char* key, const char* def,
                  std::size_t chars, qint32 fallback) {
    const std::string text = platform::ReadProfileString(file, section, key, def, chars + 1);
    return config::ParseInteger(text).value_or(fallback);
}

} // namespace

Tmain::Tmain(const QString& programFolder, QWidget* parent)
    : QWidget(parent), programFolder_(programFolder) {
    setObjectName(QStringLiteral("main"));
    cpcert = new TComPort(nullptr);
    cn = new db::TDbConnection();
    q_print = new db::TDbQuery(cn);
    q_print->SetSQL(
        {QStringLiteral("SELECT * FROM printer"), QStringLiteral("WHERE posto = :posto")});
    q_hist = new db::TDbQuery(cn);
    q_hist->SetSQL({QStringLiteral("SELECT * FROM historico ORDER BY id DESC")});
    q_configposto = new db::TDbQuery(cn);
    q_configposto->SetSQL(
        {QStringLiteral("SELECT valor FROM configpostos"),
         QStringLiteral("WHERE (posto = 0) AND (seccao = :seccao) AND (chave = :chave)")});
    q_addhist = new db::TDbCommand(cn);
    q_addhist->SetSQL(
        {QStringLiteral("INSERT INTO historico (datahora, id, titulo, dados, palavrachave, cartao, "
                        "previsao, datavalor)"),
         QStringLiteral(
             "VALUES (:datahora, :id, :titulo, :dados, :palavrachave, :cartao, :previsao, "
             ":datavalor)")});
    q_delete = new db::TDbCommand(cn);
    q_delete->SetSQL({QStringLiteral("DELETE FROM printer WHERE id=:id")});
    q_delhist = new db::TDbCommand(cn);
    q_delhist->SetSQL({QStringLiteral("DELETE FROM historico WHERE datavalor < :datavalor")});

    tt = new QTimer(this);
    tt->setInterval(1000);
    // The next cycle must never come before a full second has passed.
    tt->setTimerType(Qt::PreciseTimer);
    connect(tt, &QTimer::timeout, this, [this] { report::Run([this] { ttTimer(); }); });

    BuildControls();
    report::Run([this] { FormCreate(); });
}

Tmain::~Tmain() {
    tt->stop();
    // The grid asks its model for rows until the window's widgets are gone, and the model
    // reads the history query: the model goes first, so the grid falls back to no rows.
    delete d_hist;
    // The history query may hold the connection; the statements go before it.
    delete q_hist;
    delete q_print;
    delete q_configposto;
    delete q_addhist;
    delete q_delete;
    delete q_delhist;
    delete cn;
    delete cpcert;
}

bool Tmain::TimerEnabled() const {
    return tt->isActive();
}

void Tmain::FormCreate() {
    cn->SetConnectionString(QStringLiteral("FILE NAME=") + DataLinkPath(programFolder_));

    if (ReadIntKey(kPlinovaIni, "OPCOES", "Certificadora", "0", 4, 0) == 0) {
        report::ShowWarning(this,
                            QStringLiteral("A certificadora está desactivada na configuração!\n"
                                           "Não é possível executar a aplicação!"));
        terminated_ = true;
        return;
    }
    const qint32 portNumber = ReadIntKey(kPlinovaIni, "OPCOES", "Porta Certificadora", "0", 4, 0);
    Protocolo = ReadIntKey(kPlinovaIni, "OPCOES", "Protocolo Certificadora", "0", 4, 0);
    Posto = ReadIntKey(kMolvarIni, "OPCOES", "Posto", "0", 4, 0);

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
        platform::ReadProfileString(kPlinovaIni, "OPCOES", "Hora limite", "0", 10);
    const QTime dayChange = config::ParseTimeOfDay(limit).value_or(QTime(0, 0));
    DataValor = config::BusinessDate(QDateTime::currentDateTime(), dayChange);

    // On Linux a device path may name the printer's port directly.
    const std::string device =
        platform::ReadProfileString(kPlinovaIni, "OPCOES", "Dispositivo Certificadora", "", 256);
    cpcert->SetPort(device.empty() ? "COM" + std::to_string(portNumber) : device);
    if (Protocolo != 0) {
        cpcert->FlowControl().SetFlowControl(fcHardware);
        cpcert->FlowControl().SetControlRTS(rtsHandshake);
    } else {
        cpcert->FlowControl().SetFlowControl(fcNone);
        cpcert->FlowControl().SetControlRTS(rtsDisable);
    }
    try {
        cpcert->Open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", cpcert->Port().c_str(), e.what());
        report::ShowWarning(this, QStringLiteral("Não é possível abrir a porta da certificadora!\n"
                                                 "Não é possível executar a aplicação!"));
        terminated_ = true;
        return;
    }
    porta->setText(QString::fromStdString(cpcert->Port()));

    SendInitialisation();

    q_delhist->ParamByName(QStringLiteral("datavalor")).SetValue(DataValor.startOfDay());
    q_delhist->Execute();

    tt->start();
}

QString Tmain::ReadGlobalConfig(const QString& key, const QString& def) {
    q_configposto->ParamByName(QStringLiteral("seccao")).SetValue(QStringLiteral("GLOBAL"));
    QString upper = key;
    for (QChar& c : upper)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    q_configposto->ParamByName(QStringLiteral("chave")).SetValue(upper);
    q_configposto->Open();
    QString result = def;
    if (!q_configposto->IsEmpty())
        result = q_configposto->FieldAsString(QStringLiteral("valor"));
    q_configposto->Close();
    return result;
}

void Tmain::FormShow() {
    const std::string top =
        platform::ReadProfileString(".\\Plinova.ini", "vandrel", "Top", "0", 10);
    const std::string left =
        platform::ReadProfileString(".\\Plinova.ini", "vandrel", "Left", "500", 10);
    move(config::ParseInteger(left).value_or(0), config::ParseInteger(top).value_or(0));
    resize(width(), 26);
}

void Tmain::FormClose() {
    if (cpcert->Connected()) {
        std::string byte;
        while (cpcert->InputQueued() != 0)
            cpcert->ReadText(byte, 1);
        cpcert->Close();
    }
    platform::WriteProfileString(".\\Plinova.ini", "vandrel", "Top", std::to_string(y()));
    platform::WriteProfileString(".\\Plinova.ini", "vandrel", "Left", std::to_string(x()));
}

void Tmain::ttTimer() {
    tt->stop();
    q_print->ParamByName(QStringLiteral("posto")).SetValue(Posto);
    q_print->Open();
    // A failing cycle still releases the query, so that its connection is not held while
    // the error is shown and polling stays stopped.
    try {
        if (!q_print->IsEmpty()) {
            const qint32 id = q_print->FieldAsInteger(QStringLiteral("id"));
            const qint32 cartao = q_print->FieldAsInteger(QStringLiteral("cartao"));
            numcartao->setText(q_print->FieldIsNull(QStringLiteral("cartao"))
                                   ? QString()
                                   : QString::number(cartao));
            if (q_print->FieldAsInteger(QStringLiteral("gaveta")) != 0) {
                WriteAll(std::string("\x1B\x70\x00\xC8\xC8", 5));
            } else {
                const QString dados = q_print->FieldAsString(QStringLiteral("dados"));
                const qint32 titulo = q_print->FieldAsInteger(QStringLiteral("titulo"));
                const QString palavrachave = q_print->FieldAsString(QStringLiteral("palavrachave"));
                texto->clear();
                Titulo = titulo == 1;
                PalavraChave = palavrachave;
                texto->setPlainText(dados);
                QCoreApplication::sendPostedEvents();
                QCoreApplication::processEvents();

                q_addhist->ParamByName(QStringLiteral("datahora"))
                    .SetValue(QDateTime::currentDateTime());
                q_addhist->ParamByName(QStringLiteral("id")).SetValue(id);
                q_addhist->ParamByName(QStringLiteral("titulo")).SetValue(titulo);
                q_addhist->ParamByName(QStringLiteral("dados")).SetValue(dados);
                q_addhist->ParamByName(QStringLiteral("palavrachave")).SetValue(palavrachave);
                q_addhist->ParamByName(QStringLiteral("cartao")).SetValue(cartao);
                q_addhist->ParamByName(QStringLiteral("previsao"))
                    .SetValue(config::HistoryPreview(dados));
                q_addhist->ParamByName(QStringLiteral("datavalor"))
                    .SetValue(DataValor.startOfDay());
                q_addhist->Execute();

                PrintCard();
            }
            LastId = id;
        }
    } catch (...) {
        q_print->Close();
        throw;
    }
    q_print->Close();
    q_delete->ParamByName(QStringLiteral("id")).SetValue(LastId);
    q_delete->Execute();
    tt->start();
    status->setText(QStringLiteral("Pronto"));
    numcartao->clear();
}

void Tmain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        report::Run([this] { FormShow(); });
    }
}

void Tmain::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        tt->stop();
        report::Run([this] { FormClose(); });
    }
    event->accept();
}
