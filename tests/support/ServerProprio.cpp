#include "support/ServerProprio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <chrono>
#include <csignal>
#include <stdexcept>

namespace {

QString Script() {
    return QStringLiteral(ANAGRAFICA_SORGENTI "/scripts/pg_prova.sh");
}

}  // namespace

ServerProprio::ServerProprio(const ServerProprio* primario) {
    // The cluster's own user walks into the folder.
    QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFile::ReadOther |
                                           QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    cluster_ = dir_.path() + QStringLiteral("/pg");
    server_ = Esegui(primario ? QStringList{QStringLiteral("replica"), cluster_, primario->cluster_}
                              : QStringList{QStringLiteral("avvia"), cluster_});
    // Should this process die with the cluster stopped, the cluster is let go and stopped
    // all the same, once the process is gone.
    QProcess::startDetached(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; "
                        "pm=$(head -1 '%2/dati/postmaster.pid' 2>/dev/null) && "
                        "kill -CONT $pm $(pgrep -P $pm) 2>/dev/null; '%3' ferma '%2'")
             .arg(QCoreApplication::applicationPid())
             .arg(cluster_, Script())});
}

ServerProprio::~ServerProprio() {
    Spegni();
}

QString ServerProprio::Esegui(const QStringList& argomenti) const {
    QProcess p;
    p.start(Script(), argomenti);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error("pg_prova.sh " + argomenti.join(' ').toStdString() + ": " +
                                 p.readAllStandardError().toStdString());
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void ServerProprio::Spegni() {
    Riprendi();
    QProcess p;
    p.start(Script(), {QStringLiteral("ferma"), cluster_});
    p.waitForFinished(60000);
}

void ServerProprio::Promuovi() {
    Esegui({QStringLiteral("promuovi"), cluster_});
}

std::vector<pid_t> ServerProprio::Processi() const {
    std::vector<pid_t> pid;
    QFile file(cluster_ + QStringLiteral("/dati/postmaster.pid"));
    if (!file.open(QIODevice::ReadOnly)) return pid;
    const pid_t principale = pid_t(file.readLine().trimmed().toInt());
    if (principale <= 0) return pid;
    pid.push_back(principale);
    // Its children: the server's own processes and one per connection.
    for (const QString& voce : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numero = false;
        const pid_t p = pid_t(voce.toInt(&numero));
        if (!numero) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(p));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray testo = stat.readAll();
        // pid (name) state ppid ...: the name may hold blanks, the last ')' ends it.
        const QList<QByteArray> campi = testo.mid(testo.lastIndexOf(')') + 2).split(' ');
        if (campi.size() > 1 && pid_t(campi[1].toInt()) == principale) pid.push_back(p);
    }
    return pid;
}

int ServerProprio::Porta() const {
    QFile file(cluster_ + QStringLiteral("/dati/postmaster.pid"));
    if (!file.open(QIODevice::ReadOnly)) return 0;
    // The pid, the data folder, the start time, then the port.
    const QList<QByteArray> righe = file.readAll().split('\n');
    return righe.size() > 3 ? righe[3].trimmed().toInt() : 0;
}

void ServerProprio::Congela(int massimoMs) {
    Riprendi();
    fermi_ = Processi();
    for (pid_t p : fermi_) ::kill(p, SIGSTOP);
    ripreso_ = false;
    sveglia_ = std::thread([this, massimoMs] {
        std::unique_lock<std::mutex> l(mutex_);
        cv_.wait_for(l, std::chrono::milliseconds(massimoMs), [this] { return ripreso_; });
        for (pid_t p : fermi_) ::kill(p, SIGCONT);
    });
}

void ServerProprio::Riprendi() {
    if (!sveglia_.joinable()) return;
    {
        std::lock_guard<std::mutex> l(mutex_);
        ripreso_ = true;
    }
    cv_.notify_all();
    sveglia_.join();
    fermi_.clear();
}
