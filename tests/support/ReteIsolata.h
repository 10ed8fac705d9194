#pragma once

// A network of the test's own: the calling thread, and whatever it starts from then on, in a
// network namespace with only its loopback, left again at the end. A server's packets can be
// dropped there, as a pulled cable drops them, without touching the machine's network.

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

class ReteIsolata {
  public:
    ReteIsolata();
    ~ReteIsolata();
    ReteIsolata(const ReteIsolata&) = delete;
    ReteIsolata& operator=(const ReteIsolata&) = delete;

    // Drops every packet to the TCP port `porta` until Riprendi, or `massimoMs` at most, so
    // that a program that waits for ever still ends. The reason when it cannot (no namespace
    // of its own, no iptables); empty when the packets are dropped.
    QString Scarta(int porta, int massimoMs = 20000);
    void Riprendi();

  private:
    int originale_ = -1;
    QString perche_;  // why there is no network of its own
    QString iptables_;
    std::thread sveglia_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool ripreso_ = false;
};
