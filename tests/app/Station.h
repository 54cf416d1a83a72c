#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"
#include "EventLoopWait.h"
#include "PrinterBytes.h"
#include "TestDatabase.h"
#include "TestPrinter.h"

using dbtest::Backend;

class Spooler;
class Tmain;
namespace db {
class TDbConnection;
}

// Runs a window handler as the event loop does: an error that leaves it is reported.
void Handler(const std::function<void()>& handler);
// One polling cycle, run as a timer tick runs it.
void Cycle(Spooler& core);

// A station folder in a temporary directory, made the working directory, with its profile
// files, its data link file naming a fresh database of the backend, and a test printer on a
// pseudo-terminal.
class Station {
public:
    explicit Station(Backend backend = Backend::SQLite);
    ~Station();

    const std::filesystem::path& Folder() const { return folder_; }
    TestPrinter& Printer() { return printer_; }
    db::TDbConnection& Db() { return *cn_; }

    // Writes the station's settings; keys not given are left out of the files.
    void WritePlinovaIni(const std::map<std::string, std::string>& opcoes,
                         const std::map<std::string, std::string>& vandrel = {});
    void WriteMolvarIni(const std::string& posto);
    // The usual settings: printer on, the test printer's device, the protocol, station 7.
    void WriteDefaults(int protocol = 0);
    void WriteDataLink(const std::string& initString);

    int AddJob(int posto, int gaveta, int cartao, int titulo, const QString& keyword,
               const QString& dados);
    void Sql(const QString& statement);
    // Rows of a query, each column as text ("<null>" for NULL).
    std::vector<QStringList> Rows(const QString& select);

    std::unique_ptr<Tmain> Start();
    // Starts the window with its timer stopped, so that cycles are run by hand.
    std::unique_ptr<Tmain> StartStopped();
    // Waits until the initialisation sequence has reached the printer, then forgets what the
    // printer received so far; false when it does not come.
    bool PrinterInitialised();

    // Warnings and error reports shown, as "caption: text".
    QStringList messages;

private:
    std::unique_ptr<dbtest::TestDatabase> database_;
    std::filesystem::path folder_;
    std::filesystem::path oldCwd_;
    TestPrinter printer_;
    std::unique_ptr<db::TDbConnection> cn_;
};
