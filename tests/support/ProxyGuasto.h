#pragma once

// A proxy in front of a server's Unix socket that cuts the line at a chosen moment of a
// transaction: right after the client's COMMIT has passed through (the server makes it,
// its reply is lost), or just before it (the server never sees it). It can also hold what
// passes for a while, as a network farther away does.

#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class ProxyGuasto {
  public:
    enum class Taglio { Nessuno, DopoIlCommit, PrimaDelCommit };

    // `server`: a connection string with the server's socket folder (host=) and port=.
    explicit ProxyGuasto(const QString& server);
    ~ProxyGuasto();
    ProxyGuasto(const ProxyGuasto&) = delete;
    ProxyGuasto& operator=(const ProxyGuasto&) = delete;

    // The same string, through the proxy.
    const QString& Server() const { return proprio_; }
    // Cuts the line of the next COMMIT, once.
    void Taglia(Taglio t) { taglio_ = t; }
    // Each round trip takes `millisecondi` more, half each way.
    void Ritarda(int millisecondi) { ritardoMs_ = millisecondi; }

  private:
    void Accetta();
    void Inoltra(int cliente);

    QTemporaryDir dir_;
    QString destinazione_;  // the server's socket
    QString proprio_;
    int presa_ = -1;
    std::atomic<Taglio> taglio_{Taglio::Nessuno};
    std::atomic<bool> fine_{false};
    std::atomic<int> ritardoMs_{0};
    std::thread accettatore_;
    std::mutex mutex_;
    std::vector<std::thread> fili_;
    std::vector<int> prese_;
};
