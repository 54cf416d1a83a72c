#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "JobQueue.h"
#include "TestDatabase.h"
#include "TestPrinter.h"
#include "app/core/Spooler.h"

using dbtest::Backend;

namespace db {
class TDbConnection;
}

// A station folder in a temporary directory, with its profile files, its data link file naming
// a fresh database of the backend, and a test printer on a pseudo-terminal. Nothing of it is
// found through the working directory.
class StationFolder {
public:
    explicit StationFolder(Backend backend = Backend::SQLite);
    ~StationFolder();

    const std::filesystem::path& Folder() const { return folder_; }
    std::string PlinovaIni() const { return (folder_ / "Plinova.ini").string(); }
    TestPrinter& Printer() { return printer_; }
    db::TDbConnection& Db() { return *cn_; }
    // Where a spooler of this station finds its files (the program's folder too), and the
    // clock below. No delivery host: with no window to serve them, the port holds its events
    // until it closes.
    Spooler::Setup Setup() const;
    // The clock its spooler's pauses run on; the system's when null.
    pacing::TickSource* ticks = nullptr;

    // Writes the station's settings; keys not given are left out of the files.
    void WritePlinovaIni(const std::map<std::string, std::string>& opcoes,
                         const std::map<std::string, std::string>& vandrel = {});
    void WriteMolvarIni(const std::string& posto);
    // The usual settings: printer on, the test printer's device, the protocol, station 7.
    void WriteDefaults(int protocol = 0);
    void WriteDataLink(const std::string& initString);

    // Queues a job and returns its id.
    int AddJob(int posto, int gaveta, int cartao, int titulo, const QString& keyword,
               const QString& dados);
    void Sql(const QString& statement);
    // Rows of a query, each column as text ("<null>" for NULL).
    std::vector<QStringList> Rows(const QString& select);

    // Waits until the initialisation sequence has reached the printer, then forgets what the
    // printer received so far; false when it does not come.
    bool PrinterInitialised();

private:
    std::unique_ptr<dbtest::TestDatabase> database_;
    std::filesystem::path folder_;
    TestPrinter printer_;
    std::unique_ptr<db::TDbConnection> cn_;
};
