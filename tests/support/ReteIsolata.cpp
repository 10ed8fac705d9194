#include "support/ReteIsolata.h"

#include <QProcess>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The rule for `porta`, added (-A) or removed (-D); the error text, empty when done.
QString Regola(const QString& iptables, const char* azione, int porta) {
    QProcess p;
    p.start(iptables,
            {azione, "INPUT", "-p", "tcp", "--dport", QString::number(porta), "-j", "DROP"});
    if (!p.waitForFinished(20000)) return iptables + ": " + p.errorString();
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return {};
    return iptables + ": " + QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
}

}  // namespace

ReteIsolata::ReteIsolata() {
    originale_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (originale_ < 0 || ::unshare(CLONE_NEWNET) != 0) {
        perche_ = QStringLiteral("no network namespace of its own: ") + std::strerror(errno);
        if (originale_ >= 0) ::close(originale_);
        originale_ = -1;
        return;
    }
    // The new loopback starts down.
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq r{};
    std::strncpy(r.ifr_name, "lo", IFNAMSIZ - 1);
    if (s < 0 || ::ioctl(s, SIOCGIFFLAGS, &r) != 0 ||
        (r.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &r) != 0))
        perche_ = QStringLiteral("no loopback in the namespace: ") + std::strerror(errno);
    if (s >= 0) ::close(s);
}

ReteIsolata::~ReteIsolata() {
    Riprendi();
    // The namespace goes with the last process in it, its rules with it.
    if (originale_ >= 0) {
        ::setns(originale_, CLONE_NEWNET);
        ::close(originale_);
    }
}

QString ReteIsolata::Scarta(int porta, int massimoMs) {
    Riprendi();
    if (!perche_.isEmpty()) return perche_;
    iptables_.clear();
    QStringList errori;
    // nftables' or the legacy one, whichever this kernel takes.
    for (const QString& comando : {QStringLiteral("iptables"), QStringLiteral("iptables-legacy")}) {
        const QString errore = Regola(comando, "-A", porta);
        if (errore.isEmpty()) {
            iptables_ = comando;
            break;
        }
        errori << errore;
    }
    if (iptables_.isEmpty()) return errori.join("; ");
    ripreso_ = false;
    // Started from this thread, the waker is in the same namespace.
    sveglia_ = std::thread([this, porta, massimoMs] {
        std::unique_lock<std::mutex> l(mutex_);
        cv_.wait_for(l, std::chrono::milliseconds(massimoMs), [this] { return ripreso_; });
        Regola(iptables_, "-D", porta);
    });
    return {};
}

void ReteIsolata::Riprendi() {
    if (!sveglia_.joinable()) return;
    {
        std::lock_guard<std::mutex> l(mutex_);
        ripreso_ = true;
    }
    cv_.notify_all();
    sveglia_.join();
}
