#pragma once

// A throw-away PostgreSQL cluster of one test's own, for faults that would upset the tests
// running beside it on the shared one: its processes stopped, as a frozen server's, and let
// go again.

#include <QString>
#include <QTemporaryDir>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/types.h>

class ServerProprio {
  public:
    // Starts the cluster, or a standby that streams from `primario`, which from then on
    // waits for it at each commit; throws when it cannot.
    explicit ServerProprio(const ServerProprio* primario = nullptr);
    // Lets it go and stops it.
    ~ServerProprio();
    ServerProprio(const ServerProprio&) = delete;
    ServerProprio& operator=(const ServerProprio&) = delete;

    const QString& Server() const { return server_; }
    // The same server over TCP, as an office reaches it (a password, TLS): the service
    // anagrafica_tcp of this file (PGSERVICEFILE), a string short enough for an
    // environment file; and its port.
    QString Servizi() const { return cluster_ + QStringLiteral("/pg_service.conf"); }
    int Porta() const;

    // Stops every process of the cluster (SIGSTOP); they go on by themselves after
    // `massimoMs`, so that a program that waits for them for ever still ends.
    void Congela(int massimoMs = 20000);
    void Riprendi();
    // Stops it at once, as a computer switched off.
    void Spegni();
    // Makes the standby a primary.
    void Promuovi();

  private:
    std::vector<pid_t> Processi() const;
    QString Esegui(const QStringList& argomenti) const;

    QTemporaryDir dir_;
    QString cluster_;
    QString server_;
    std::vector<pid_t> fermi_;
    std::thread sveglia_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool ripreso_ = false;
};
