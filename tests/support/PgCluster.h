#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

// A PostgreSQL server of its own for one test, on loopback with password-less logins, which
// the test may stop and start again. Removed with the object.
class PgCluster {
public:
    // Null, with the reason in *why, when the server's programs are not installed or the
    // cluster cannot be made.
    static std::unique_ptr<PgCluster> Create(QString* why);
    // Whether this system can run one at all: a Windows test program cannot start the host's
    // server programs, so there a missing cluster is a skip, never a failure.
    static bool Possible();
    ~PgCluster();

    bool Stop();
    bool Start();
    // Initialisation string of a data link naming the cluster's "postgres" database.
    QString InitString() const;

private:
    PgCluster() = default;
    bool Run(const QString& program, const QStringList& args, QString* output = nullptr);

    QTemporaryDir dir_;
    QString bin_;
    int port_ = 0;
    bool running_ = false;
};
