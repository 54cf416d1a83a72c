#include "PgCluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback port nobody listens on at this moment.
int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

QString ServerBinaries() {
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    for (const QString& v :
         versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed)) {
        const QString bin = versions.filePath(v + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return {};
}

} // namespace

bool PgCluster::Possible() {
    return true;
}

std::unique_ptr<PgCluster> PgCluster::Create(QString* why) {
    std::unique_ptr<PgCluster> c(new PgCluster());
    c->bin_ = ServerBinaries();
    if (c->bin_.isEmpty()) {
        *why = QStringLiteral("no PostgreSQL server programs under /usr/lib/postgresql");
        return nullptr;
    }
    c->port_ = FreePort();
    // The server refuses to run as root: as root the cluster belongs to "postgres".
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (pw == nullptr ||
            ::chown(QFile::encodeName(c->dir_.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            *why = QStringLiteral("running as root and no user \"postgres\" to own a cluster");
            return nullptr;
        }
    }
    const QString data = c->dir_.filePath(QStringLiteral("data"));
    QString output;
    if (!c->Run(c->bin_ + QStringLiteral("/initdb"),
                {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("postgres"),
                 QStringLiteral("--auth=trust"), QStringLiteral("--no-sync"), QStringLiteral("-E"),
                 QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8")},
                &output)) {
        *why = QStringLiteral("initdb failed: ") + output;
        return nullptr;
    }
    QFile conf(data + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append)) {
        *why = QStringLiteral("cannot write the cluster's settings");
        return nullptr;
    }
    conf.write(QStringLiteral("listen_addresses = '127.0.0.1'\nport = %1\n"
                              "unix_socket_directories = '%2'\nfsync = off\n")
                   .arg(c->port_)
                   .arg(c->dir_.path())
                   .toUtf8());
    conf.close();
    if (!c->Start()) {
        *why = QStringLiteral("the cluster did not start");
        return nullptr;
    }
    return c;
}

PgCluster::~PgCluster() {
    if (running_)
        Stop();
}

bool PgCluster::Run(const QString& program, const QStringList& args, QString* output) {
    QProcess p;
    if (::geteuid() == 0) {
        p.setProgram(QStringLiteral("runuser"));
        p.setArguments(QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                   QStringLiteral("--"), program} +
                       args);
    } else {
        p.setProgram(program);
        p.setArguments(args);
    }
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start();
    const bool ok =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output != nullptr)
        *output = QString::fromLocal8Bit(p.readAll());
    return ok;
}

bool PgCluster::Stop() {
    running_ =
        !Run(bin_ + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-m"),
              QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")});
    return !running_;
}

bool PgCluster::Start() {
    if (running_)
        return true;
    running_ =
        Run(bin_ + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-l"),
             dir_.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
             QStringLiteral("-t"), QStringLiteral("30"), QStringLiteral("start")});
    return running_;
}

QString PgCluster::InitString() const {
    return QStringLiteral(
               "Provider=PostgreSQL;Data Source=127.0.0.1:%1;Initial Catalog=postgres;User "
               "ID=postgres")
        .arg(port_);
}
