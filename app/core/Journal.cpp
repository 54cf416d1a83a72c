#include "app/core/Journal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

namespace journal {

namespace {

const QByteArray kHeader("plinova-journal");
const QByteArray kVersion("1");
const QByteArray kCardFed("card fed");
const QByteArray kCardComplete("card complete");
const QByteArray kPulsed("drawer pulsed");
const QByteArray kDone("done");
// A journal holds one job in a few hundred bytes; anything much larger is not one.
constexpr qint64 kLargest = 64 * 1024;

QByteArray Check(const QByteArray& text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex().left(8);
}

// The text of a line whose check holds; none otherwise.
std::optional<QByteArray> Unchecked(QByteArray line) {
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype mark = line.lastIndexOf(" #");
    if (mark < 0)
        return std::nullopt;
    const QByteArray text = line.left(mark);
    if (line.mid(mark + 2) != Check(text))
        return std::nullopt;
    return text;
}

// A decimal integer written as this file writes it.
std::optional<qint32> Integer(const QByteArray& text) {
    bool ok = false;
    const qint32 value = text.toInt(&ok);
    if (!ok || QByteArray::number(value) != text)
        return std::nullopt;
    return value;
}

QByteArray JobText(const Entry& entry) {
    return "job " + QByteArray::number(entry.id) + (entry.drawer ? " drawer" : " print") +
           " cartao " + (entry.cartao ? QByteArray::number(*entry.cartao) : QByteArray("-")) +
           " row " + entry.fingerprint;
}

// Everything the journal holds of the entry, as written.
QByteArray Whole(qint32 posto, const Entry& entry) {
    QByteArray text = Opening(posto, entry);
    for (const Record record :
         {Record::CardFed, Record::CardComplete, Record::Pulsed, Record::Done}) {
        if (entry.Has(record))
            text += Line(record);
    }
    return text;
}

Reading Damaged(int lineNumber, const char* what) {
    Reading reading;
    reading.unreadable = QStringLiteral("line %1 %2").arg(lineNumber).arg(QLatin1String(what));
    reading.unreadableForOperator = QStringLiteral("está danificado");
    return reading;
}

// The meaning of the lines whose checks hold, in order.
Reading Interpret(const QList<QByteArray>& lines, qint32 posto) {
    Reading reading;
    if (lines.isEmpty())
        return reading;
    const QList<QByteArray> header = lines[0].split(' ');
    if (header.size() != 4 || header[0] != kHeader || header[2] != "posto" || !Integer(header[3]))
        return Damaged(1, "is not a journal's header");
    if (header[1] != kVersion) {
        reading.unreadable =
            QStringLiteral("is in journal format %1, which this program does not read")
                .arg(QString::fromLatin1(header[1]));
        reading.unreadableForOperator = QStringLiteral("foi escrito por outra versão do programa");
        return reading;
    }
    if (*Integer(header[3]) != posto) {
        reading.unreadable = QStringLiteral("belongs to station %1, not to station %2")
                                 .arg(*Integer(header[3]))
                                 .arg(posto);
        reading.unreadableForOperator =
            QStringLiteral("é de outro posto (%1)").arg(*Integer(header[3]));
        return reading;
    }
    if (lines.size() == 1)
        return reading;

    const QList<QByteArray> job = lines[1].split(' ');
    const bool known = job.size() == 7 && job[0] == "job" && Integer(job[1]) &&
                       (job[2] == "print" || job[2] == "drawer") && job[3] == "cartao" &&
                       (job[4] == "-" || Integer(job[4])) && job[5] == "row" && job[6].size() == 16;
    if (!known)
        return Damaged(2, "is not a job");
    Entry entry;
    entry.id = *Integer(job[1]);
    entry.drawer = job[2] == "drawer";
    if (job[4] != "-")
        entry.cartao = Integer(job[4]);
    entry.fingerprint = job[6];

    // Each record at most once, in the order the cycle makes them, nothing after the last.
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const int number = static_cast<int>(i + 1);
        if (entry.done)
            return Damaged(number, "follows the job's last record");
        if (line.startsWith("history ") && !entry.drawer && !entry.logged) {
            const QDateTime at =
                QDateTime::fromString(QString::fromLatin1(line.mid(8)), Qt::ISODateWithMs);
            if (!at.isValid())
                return Damaged(number, "has no valid time");
            entry.logged = at;
        } else if (line == kCardFed && entry.logged && !entry.cardFed && !entry.cardComplete) {
            entry.cardFed = true;
        } else if (line == kCardComplete && entry.logged && !entry.cardComplete) {
            entry.cardComplete = true;
        } else if (line == kPulsed && entry.drawer && !entry.pulsed) {
            entry.pulsed = true;
        } else if (line == kDone) {
            entry.done = true;
        } else {
            return Damaged(number, "is not a record that can come there");
        }
    }
    reading.entry = entry;
    return reading;
}

} // namespace

bool& Entry::Has(Record record) {
    switch (record) {
    case Record::CardFed:
        return cardFed;
    case Record::CardComplete:
        return cardComplete;
    case Record::Pulsed:
        return pulsed;
    case Record::Done:
        break;
    }
    return done;
}

QByteArray Checked(const QByteArray& text) {
    return text + " #" + Check(text) + "\r\n";
}

QByteArray Fingerprint(qint32 posto, bool drawer, std::optional<qint32> cartao, qint32 titulo,
                       const QString& palavrachave, const QString& dados) {
    QByteArray row;
    const auto field = [&row](const QByteArray& value) {
        row += QByteArray::number(value.size()) + ':' + value + ';';
    };
    field(QByteArray::number(posto));
    field(drawer ? "1" : "0");
    field(cartao ? QByteArray::number(*cartao) : QByteArray("-"));
    field(QByteArray::number(titulo));
    field(palavrachave.toUtf8());
    field(dados.toUtf8());
    return QCryptographicHash::hash(row, QCryptographicHash::Sha256).toHex().left(16);
}

QByteArray Opening(qint32 posto, const Entry& entry) {
    QByteArray text = Checked(kHeader + ' ' + kVersion + " posto " + QByteArray::number(posto));
    text += Checked(JobText(entry));
    if (entry.logged)
        text += Checked("history " + entry.logged->toString(Qt::ISODateWithMs).toLatin1());
    return text;
}

QByteArray Line(Record record) {
    switch (record) {
    case Record::CardFed:
        return Checked(kCardFed);
    case Record::CardComplete:
        return Checked(kCardComplete);
    case Record::Pulsed:
        return Checked(kPulsed);
    case Record::Done:
        break;
    }
    return Checked(kDone);
}

Reading Read(const QByteArray& text, qint32 posto) {
    // Whole lines end in a line feed; what follows the last one was cut short.
    QList<QByteArray> pieces = text.split('\n');
    QByteArray cut = pieces.takeLast();
    QList<QByteArray> lines;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const std::optional<QByteArray> line = Unchecked(pieces[i]);
        if (line) {
            lines << *line;
            continue;
        }
        // Only the last write can have been cut short, and only at the end of the file.
        if (i + 1 < pieces.size() || !cut.isEmpty())
            return Damaged(static_cast<int>(i + 1), "does not match its check");
        cut = pieces[i];
    }
    // A file cut short in its first write still begins as a journal does.
    const QByteArray header = kHeader + ' ';
    if (lines.isEmpty() && !cut.isEmpty() && !header.startsWith(cut.left(header.size())))
        return Damaged(1, "is not a journal's header");
    Reading reading = Interpret(lines, posto);
    reading.torn = !cut.isEmpty() && reading.unreadable.isEmpty();
    return reading;
}

StationJournal::StationJournal(QString path, Writer writer)
    : path_(std::move(path)),
      writer_(writer ? std::move(writer) : Writer(platform::WriteFileDurably)) {}

const Entry* StationJournal::InHand(qint32 id, const QByteArray& fingerprint) const {
    if (!entry_ || entry_->done || entry_->id != id || entry_->fingerprint != fingerprint)
        return nullptr;
    return &*entry_;
}

std::optional<qint32> StationJournal::Unfinished() const {
    if (!entry_ || entry_->done)
        return std::nullopt;
    return entry_->id;
}

Loaded StationJournal::Load(qint32 posto) {
    posto_ = posto;
    entry_.reset();
    broken_ = false;
    Loaded loaded;
    QFile file(path_);
    if (!file.exists())
        return loaded;

    Reading reading;
    if (!file.open(QIODevice::ReadOnly)) {
        reading.unreadable = QStringLiteral("cannot be opened: ") + file.errorString();
        reading.unreadableForOperator = QStringLiteral("não pode ser aberto");
    } else {
        const QByteArray text = file.read(kLargest + 1);
        if (file.error() != QFileDevice::NoError) {
            reading.unreadable = QStringLiteral("cannot be read: ") + file.errorString();
            reading.unreadableForOperator = QStringLiteral("não pode ser lido");
        } else if (text.size() > kLargest) {
            reading = Damaged(1, "starts a file far larger than a journal");
        } else {
            reading = Read(text, posto);
        }
        file.close();
    }

    if (reading.unreadable.isEmpty()) {
        entry_ = reading.entry;
        if (reading.torn) {
            loaded.log << path_ + QStringLiteral(": its last line was cut short, as a power cut "
                                                 "while it is written leaves it, and is left out");
            // Written again without it, so that the next record follows a whole line.
            try {
                Write(entry_ ? Whole(posto_, *entry_) : QByteArray(),
                      platform::DurableMode::Replace);
            } catch (const JournalError& e) {
                loaded.log << QString::fromUtf8(e.what());
            }
        }
        return loaded;
    }

    const QString aside = QFileInfo(path_).dir().filePath(QLatin1String(kSetAsideName));
    QFile::remove(aside);
    if (QFile::rename(path_, aside)) {
        loaded.log << path_ + QStringLiteral(": ") + reading.unreadable +
                          QStringLiteral("; set aside as ") + aside;
        loaded.notice = QStringLiteral("O diário de impressão %1 %2 e foi posto de parte como %3.")
                            .arg(QLatin1String(kFileName), reading.unreadableForOperator,
                                 QLatin1String(kSetAsideName));
    } else {
        loaded.log << path_ + QStringLiteral(": ") + reading.unreadable +
                          QStringLiteral("; it cannot be set aside and is replaced by the next "
                                         "job's journal");
        loaded.notice = QStringLiteral("O diário de impressão %1 %2 e vai ser substituído.")
                            .arg(QLatin1String(kFileName), reading.unreadableForOperator);
    }
    loaded.notice += QStringLiteral("\nA impressão continua; o trabalho que estava em curso "
                                    "quando o programa parou pode sair outra vez.");
    return loaded;
}

void StationJournal::Begin(const Entry& entry) {
    // Whatever the file holds from here on, it no longer speaks of the job before.
    entry_.reset();
    Write(Opening(posto_, entry), platform::DurableMode::Replace);
    broken_ = false;
    entry_ = entry;
}

void StationJournal::Append(Record record) {
    if (broken_)
        throw JournalError("The station journal cannot be written: an earlier record of this "
                           "job failed");
    Write(Line(record), platform::DurableMode::Append);
    entry_->Has(record) = true;
}

void StationJournal::Write(const QByteArray& bytes, platform::DurableMode mode) {
    const std::string failure = writer_(path_.toStdString(), bytes.toStdString(), mode);
    if (!failure.empty()) {
        broken_ = true;
        throw JournalError("The station journal cannot be written: " + failure);
    }
}

} // namespace journal
