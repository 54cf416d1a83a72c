#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/DurableFile.h"

// The station journal: the job in hand and how far its cycle got, kept in the station folder so
// that a start after a kill or a power cut finishes that job instead of doing it again. Each
// record is on the disk before the step that follows it is taken. The format is in
// app/README.md ("The station journal").
namespace journal {

// The journal in the station folder, and the name an unreadable one is set aside under.
inline constexpr char kFileName[] = "Plinova.jnl";
inline constexpr char kSetAsideName[] = "Plinova.jnl.unreadable";

// The records that follow a job's first ones, in the order a job's cycle makes them.
enum class Record { CardFed, CardComplete, Pulsed, Done };

// What the journal knows of the job in hand.
struct Entry {
    qint32 id = 0;
    bool drawer = false;
    std::optional<qint32> cartao; // for the person reading the file
    // Of the job's row, so that another job given the same id is not taken for this one.
    QByteArray fingerprint;
    // The history row's datahora, recorded before the row is inserted.
    std::optional<QDateTime> logged;
    // The form feed written and drained: the card's lines are printed and it is ejected.
    bool cardFed = false;
    bool cardComplete = false; // the release written and drained too
    bool pulsed = false;       // the drawer pulse written and drained
    bool done = false;         // the job deleted from the queue

    // The flag the record sets.
    bool& Has(Record record);
    bool Has(Record record) const { return const_cast<Entry*>(this)->Has(record); }

    bool operator==(const Entry&) const = default;
};

// The fingerprint of a job's row: its columns that the cycle reads, each with its length.
QByteArray Fingerprint(qint32 posto, bool drawer, std::optional<qint32> cartao, qint32 titulo,
                       const QString& palavrachave, const QString& dados);

// A line as the journal writes it: the text, a check of it, a line end.
QByteArray Checked(const QByteArray& text);

// The text that starts the journal of a job: the header naming the station, the job, and for a
// print job with its time logged, the history row's time.
QByteArray Opening(qint32 posto, const Entry& entry);
// The line of a later record.
QByteArray Line(Record record);

// What a journal's text says.
struct Reading {
    std::optional<Entry> entry; // none: no job in hand
    // Why the text cannot be used (for the log), and the operator's words for it; empty when it
    // can.
    QString unreadable;
    QString unreadableForOperator;
    // Its last line was cut short, as a power cut during its write leaves it, and is left out:
    // the step after that record was never taken.
    bool torn = false;
};
Reading Read(const QByteArray& text, qint32 posto);

// Raised when a record cannot be written; the cycle fails with it as with a failed statement.
class JournalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes a journal's bytes durably; returns "" or the reason it failed.
using Writer = std::function<std::string(const std::string& path, const std::string& bytes,
                                         platform::DurableMode mode)>;

// What reading the journal at start-up found, beyond its entry.
struct Loaded {
    QStringList log; // for whoever sets the station up
    QString notice;  // for the operator; empty when there is nothing to say
};

// The journal file of one station, and what it holds.
class StationJournal {
public:
    // `writer`: the platform's durable write when empty.
    StationJournal(QString path, Writer writer);

    // Reads the file: its job becomes the one in hand. A file that cannot be used is set aside,
    // and the operator is told so; printing goes on without it. A last line cut short is left
    // out and the file is written again without it, so that later records follow whole ones.
    Loaded Load(qint32 posto);

    const QString& Path() const { return path_; }
    const std::optional<Entry>& Current() const { return entry_; }
    // The job in hand when it is this one, the same row, and not yet deleted; null otherwise.
    const Entry* InHand(qint32 id, const QByteArray& fingerprint) const;
    // The id of a job in hand not yet deleted.
    std::optional<qint32> Unfinished() const;

    // Starts the journal of a job, replacing what it held. JournalError when it fails.
    void Begin(const Entry& entry);
    // Adds a record for the job in hand. JournalError when it fails, and then for every
    // record until the next Begin: the file's end is unknown.
    void Append(Record record);

private:
    void Write(const QByteArray& bytes, platform::DurableMode mode);

    QString path_;
    Writer writer_;
    qint32 posto_ = 0;
    std::optional<Entry> entry_;
    bool broken_ = false;
};

} // namespace journal
