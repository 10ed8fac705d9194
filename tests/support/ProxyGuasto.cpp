#include "support/ProxyGuasto.h"

#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <stdexcept>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int Connetti(const QString& percorso) {
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, percorso.toLocal8Bit().constData(), sizeof a.sun_path - 1);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

bool ScriviTutto(int s, const char* dati, size_t n) {
    while (n > 0) {
        // A side that has gone away is an error here, never a signal that ends the test.
        const ssize_t k = ::send(s, dati, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        dati += k;
        n -= size_t(k);
    }
    return true;
}

quint32 Lunghezza(const QByteArray& b, qsizetype da) {
    return quint32(uchar(b[da])) << 24 | quint32(uchar(b[da + 1])) << 16 |
           quint32(uchar(b[da + 2])) << 8 | quint32(uchar(b[da + 3]));
}

}  // namespace

ProxyGuasto::ProxyGuasto(const QString& server) {
    static const QRegularExpression host(QStringLiteral("\\bhost=(\\S+)")),
        porta(QStringLiteral("\\bport=(\\d+)"));
    const auto h = host.match(server), p = porta.match(server);
    if (!h.hasMatch()) throw std::runtime_error("the proxy needs a server on a Unix socket");
    const QString numero = p.hasMatch() ? p.captured(1) : QStringLiteral("5432");
    destinazione_ = h.captured(1) + QStringLiteral("/.s.PGSQL.") + numero;
    proprio_ = QString(server).replace(h.capturedStart(1), h.capturedLength(1), dir_.path());
    presa_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const QByteArray percorso = (dir_.path() + QStringLiteral("/.s.PGSQL.") + numero).toLocal8Bit();
    std::strncpy(a.sun_path, percorso.constData(), sizeof a.sun_path - 1);
    if (::bind(presa_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(presa_, 16))
        throw std::runtime_error("the proxy cannot listen");
    accettatore_ = std::thread([this] { Accetta(); });
}

ProxyGuasto::~ProxyGuasto() {
    fine_ = true;
    ::shutdown(presa_, SHUT_RDWR);
    accettatore_.join();
    ::close(presa_);
    std::vector<std::thread> fili;
    {
        std::lock_guard<std::mutex> l(mutex_);
        for (int s : prese_) ::shutdown(s, SHUT_RDWR);
        fili.swap(fili_);
    }
    for (auto& f : fili) f.join();
    for (int s : prese_) ::close(s);
}

void ProxyGuasto::Accetta() {
    while (!fine_) {
        const int c = ::accept(presa_, nullptr, nullptr);
        if (c < 0) return;
        std::lock_guard<std::mutex> l(mutex_);
        fili_.emplace_back([this, c] { Inoltra(c); });
    }
}

void ProxyGuasto::Inoltra(int cliente) {
    const int server = Connetti(destinazione_);
    {
        std::lock_guard<std::mutex> l(mutex_);
        prese_.push_back(cliente);
        if (server >= 0) prese_.push_back(server);
    }
    // The client's bytes are read message by message: the first has no type byte (the
    // startup packet), every other one a type byte and then its length.
    using Orologio = std::chrono::steady_clock;
    struct InViaggio {
        Orologio::time_point arrivo;
        QByteArray dati;
    };
    std::deque<InViaggio> alServer, alCliente;
    auto spedisci = [](std::deque<InViaggio>& coda, int presa, bool tutto) {
        while (!coda.empty() && (tutto || coda.front().arrivo <= Orologio::now())) {
            if (!ScriviTutto(presa, coda.front().dati.constData(),
                             size_t(coda.front().dati.size())))
                return false;
            coda.pop_front();
        }
        return true;
    };
    QByteArray pendente;
    bool avviato = false;
    bool taglia = false;
    bool inCommit = false;  // a pipelined COMMIT has passed, its Sync not yet
    char buffer[65536];
    while (server >= 0 && !fine_ && !taglia) {
        const auto meta = std::chrono::microseconds(ritardoMs_ * 500);
        int attesa = 200;
        for (const auto* coda : {&alServer, &alCliente})
            if (!coda->empty())
                attesa = std::min<int>(
                    attesa,
                    int(std::max<qint64>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                coda->front().arrivo - Orologio::now())
                                                .count())));
        pollfd p[2] = {{cliente, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, attesa) < 0) break;
        if (p[1].revents) {
            const ssize_t n = ::read(server, buffer, sizeof buffer);
            if (n <= 0) break;
            alCliente.push_back({Orologio::now() + meta, QByteArray(buffer, n)});
        }
        if (p[0].revents) {
            const ssize_t n = ::read(cliente, buffer, sizeof buffer);
            if (n <= 0) break;
            pendente.append(buffer, n);
            qsizetype pronti = 0;
            for (;;) {
                const qsizetype testa = avviato ? 1 : 0;
                if (pendente.size() < pronti + testa + 4) break;
                const qsizetype fine =
                    pronti + testa + qsizetype(Lunghezza(pendente, pronti + testa));
                if (pendente.size() < fine) break;
                // A COMMIT comes as a simple query, or in a pipeline as a Parse (after the
                // statement's name) that the Sync closing the pipeline sets going.
                qsizetype testo = -1;
                if (avviato && pendente[pronti] == 'Q') testo = pronti + 5;
                if (avviato && pendente[pronti] == 'P')
                    testo = pendente.indexOf('\0', pronti + 5) + 1;
                const bool commit =
                    testo > 0 && pendente.mid(testo, 6).compare("COMMIT", Qt::CaseInsensitive) == 0;
                const bool sync = avviato && pendente[pronti] == 'S';
                avviato = true;
                if (commit && taglio_ != Taglio::Nessuno) {
                    if (taglio_ == Taglio::PrimaDelCommit || pendente[pronti] == 'Q') {
                        if (taglio_ == Taglio::DopoIlCommit) pronti = fine;
                        taglia = true;
                        taglio_ = Taglio::Nessuno;
                        break;
                    }
                    inCommit = true;
                }
                pronti = fine;
                if (sync && inCommit) {
                    taglia = true;
                    taglio_ = Taglio::Nessuno;
                    break;
                }
            }
            if (pronti > 0) alServer.push_back({Orologio::now() + meta, pendente.left(pronti)});
            pendente.remove(0, pronti);
        }
        // A cut line lets through what was on it up to the cut, then nothing.
        if (!spedisci(alServer, server, taglia) || !spedisci(alCliente, cliente, false)) break;
    }
    // Both ends of the line go at once: the server's reply, if any, is never passed on.
    std::lock_guard<std::mutex> l(mutex_);
    for (int s : {cliente, server}) {
        if (s < 0) continue;
        ::shutdown(s, SHUT_RDWR);
    }
}
