// Documents written whole and the spreadsheet's lock beside them. A write never leaves half a
// file under the real name nor follows a planted link; a lock is cleared only when it is this
// login's own and no LibreOffice of its owner can still be holding it.

#include "app/Documenti.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------- the spreadsheet's lock

QString NomeComputer() {
    char nome[256] = {};
    if (gethostname(nome, sizeof nome - 1) != 0) return {};
    return QString::fromLocal8Bit(nome);
}

// LibreOffice writes the name the network resolves (pc1.ufficio.lan) where the system may
// call itself pc1, or the reverse.
bool StessoComputer(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    if (a.compare(b, Qt::CaseInsensitive) == 0) return true;
    const bool completoA = a.contains(u'.'), completoB = b.contains(u'.');
    return completoA != completoB &&
           a.section(u'.', 0, 0).compare(b.section(u'.', 0, 0), Qt::CaseInsensitive) == 0;
}

std::optional<uid_t> UtenteDi(const QString& nome) {
    char buffer[4096];
    passwd pw{}, *trovato = nullptr;
    if (getpwnam_r(nome.toLocal8Bit().constData(), &pw, buffer, sizeof buffer, &trovato) != 0 ||
        !trovato)
        return std::nullopt;
    return pw.pw_uid;
}

QString NomeUtente() {
    char buffer[4096];
    passwd pw{}, *trovato = nullptr;
    if (getpwuid_r(geteuid(), &pw, buffer, sizeof buffer, &trovato) != 0 || !trovato) return {};
    return QString::fromLocal8Bit(pw.pw_name);
}

QByteArray LeggiPiccolo(const QByteArray& percorso) {
    QFile f(QString::fromLocal8Bit(percorso));
    return f.open(QIODevice::ReadOnly) ? f.read(64 * 1024) : QByteArray();
}

// The processes LibreOffice runs as: the office itself and the launchers that wait for it.
bool ProcessoLibreOffice(const QByteArray& comm) {
    const QString nome = QString::fromLocal8Bit(comm.trimmed());
    return nome == QLatin1String("soffice.bin") || nome == QLatin1String("oosplash") ||
           ProgrammaLibreOffice(nome);
}

bool StessoProfilo(const QString& a, const QString& b) {
    const auto forma = QUrl::StripTrailingSlash | QUrl::NormalizePathSegments;
    return QUrl(a).adjusted(forma) == QUrl(b).adjusted(forma);
}

// Whether a LibreOffice of that user, able to hold the lock, runs here. A process started on
// another profile folder cannot (the lock names the profile of its owner); one whose profile
// is not on its command line, or is written with variables, might. Where the system hides
// other users' processes, another user's lock is taken as held.
bool LibreOfficeInEsecuzione(const BloccoLibreOffice& b) {
    const std::optional<uid_t> utente = UtenteDi(b.utente);
    if (!utente) return true;
    DIR* proc = opendir("/proc");
    if (!proc) return true;
    bool altruiVisibili = geteuid() == 0, trovato = false;
    while (dirent* voce = readdir(proc)) {
        if (voce->d_name[0] < '1' || voce->d_name[0] > '9') continue;
        const QByteArray cartella = QByteArray("/proc/") + voce->d_name;
        struct stat st {};
        if (stat(cartella.constData(), &st) != 0) continue;
        const QByteArray comm = LeggiPiccolo(cartella + "/comm");
        if (st.st_uid != geteuid() && !comm.isEmpty()) altruiVisibili = true;
        if (st.st_uid != *utente || !ProcessoLibreOffice(comm)) continue;
        QString profilo;
        for (const QByteArray& arg : LeggiPiccolo(cartella + "/cmdline").split('\0'))
            if (arg.startsWith("-env:UserInstallation="))
                profilo = QString::fromLocal8Bit(arg.mid(22));
        if (profilo.isEmpty() || profilo.contains(u'$') || StessoProfilo(profilo, b.profilo)) {
            trovato = true;
            break;
        }
    }
    closedir(proc);
    return trovato || (*utente != geteuid() && !altruiVisibili);
}

// Running here or, for all this computer can tell, elsewhere.
bool ProprietarioVivo(const BloccoLibreOffice& b) {
    return !StessoComputer(b.computer, NomeComputer()) || LibreOfficeInEsecuzione(b);
}

struct Accanto {
    QByteArray percorso;
    bool presente = false;
    std::optional<BloccoLibreOffice> blocco;  // nothing: present but unreadable
    uid_t proprietario = 0;
};

// Read without following a link and without waiting on anything that is not a plain file.
Accanto BloccoAccanto(const QString& documento) {
    const QFileInfo info(documento);
    Accanto a;
    a.percorso = QFile::encodeName(info.absolutePath() + QStringLiteral("/.~lock.") +
                                   info.fileName() + u'#');
    // A folder that cannot even be looked into cannot be written either: the write says why.
    struct stat st {};
    if (lstat(a.percorso.constData(), &st) != 0) return a;
    a.presente = true;
    a.proprietario = st.st_uid;
    if (!S_ISREG(st.st_mode)) return a;
    const int fd = open(a.percorso.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return a;
    QByteArray testo(4096, Qt::Uninitialized);
    const ssize_t letti = read(fd, testo.data(), testo.size());
    close(fd);
    if (letti > 0) a.blocco = LeggiBlocco(testo.left(letti));
    return a;
}

// ---------------------------------------------------------------- writing

QString CausaErrno(int err) {
    switch (err) {
        case ENOENT:
            return QStringLiteral("la cartella non esiste");
        case ENOTDIR:
            return QStringLiteral("il percorso della cartella non è una cartella");
        case EACCES:
        case EPERM:
            return QStringLiteral("accesso negato");
        case EROFS:
            return QStringLiteral("il disco è di sola lettura");
        case ENOSPC:
            return QStringLiteral("non c'è più spazio sul disco");
        case EDQUOT:
            return QStringLiteral("lo spazio concesso sul disco è esaurito");
        case EFBIG:
            return QStringLiteral("il file è troppo grande");
        case EIO:
            return QStringLiteral("errore di I/O sul disco");
        case EISDIR:
            return QStringLiteral("al suo posto c'è una cartella");
        default:
            return QString::fromLocal8Bit(strerror(err));
    }
}

constexpr qsizetype kBuffer = 64 * 1024;

}  // namespace

bool ProgrammaLibreOffice(const QString& percorso) {
    // libreoffice7.4 and the like: the names of the packages from LibreOffice's own site.
    static const QRegularExpression nomi(QStringLiteral("^(soffice|localc|libreoffice[0-9.]*)$"));
    return nomi.match(QFileInfo(percorso).fileName()).hasMatch();
}

std::optional<BloccoLibreOffice> LeggiBlocco(const QByteArray& testo) {
    QByteArray campi[5];
    qsizetype i = 0;
    for (int n = 0; n < 5; ++n) {
        const char fine = n < 4 ? ',' : ';';
        for (;;) {
            if (i >= testo.size()) return std::nullopt;
            const char c = testo[i++];
            if (c == fine) break;
            if (c == ',' || c == ';') return std::nullopt;
            if (c == '\\') {
                if (i >= testo.size() || !QByteArrayView(",;\\").contains(testo[i]))
                    return std::nullopt;
                campi[n] += testo[i++];
            } else {
                campi[n] += c;
            }
        }
    }
    return BloccoLibreOffice{QString::fromUtf8(campi[0]), QString::fromUtf8(campi[1]),
                             QString::fromUtf8(campi[2]), QString::fromUtf8(campi[3]),
                             QString::fromUtf8(campi[4])};
}

QString DocumentoProprio(const QString& documento) {
    struct stat st {};
    if (::lstat(QFile::encodeName(documento).constData(), &st) != 0 || st.st_uid == geteuid())
        return documento;
    // Only what a file name may hold everywhere; a login with no name goes by its number.
    QString utente = NomeUtente();
    utente.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (utente.isEmpty()) utente = QString::number(geteuid());
    const QFileInfo info(documento);
    const QString estensione = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    return documento.left(documento.size() - estensione.size()) + u'_' + utente + estensione;
}

bool DocumentoTenutoAperto(const QString& documento) {
    const Accanto a = BloccoAccanto(documento);
    // The document is this login's alone: another login's lock, planted where all may
    // write, cannot stand for a spreadsheet that holds it; one of root's can.
    if (!a.presente || (a.proprietario != geteuid() && a.proprietario != 0)) return false;
    return !a.blocco || ProprietarioVivo(*a.blocco);
}

void RimuoviBloccoOrfano(const QString& documento) {
    const Accanto a = BloccoAccanto(documento);
    if (a.blocco && a.proprietario == geteuid() && a.blocco->utente == NomeUtente() &&
        !ProprietarioVivo(*a.blocco))
        unlink(a.percorso.constData());
}

NuovoDocumento::NuovoDocumento(QString destinazione) : destinazione_(std::move(destinazione)) {}

NuovoDocumento::~NuovoDocumento() {
    if (fd_ >= 0) close(fd_);
    if (!fatto_ && !temporaneo_.isEmpty())
        unlinkat(cartella_, QFile::encodeName(temporaneo_).constData(), 0);
    if (cartella_ >= 0) close(cartella_);
}

bool NuovoDocumento::Fallito(const QString& causa) {
    if (causa_.isEmpty()) causa_ = causa;
    return false;
}

bool NuovoDocumento::FallitoErrno(int err) {
    return Fallito(CausaErrno(err));
}

// The name is looked up, not followed: a link counts as its own owner's.
bool NuovoDocumento::AltroProprietario() {
    struct stat st {};
    if (fstatat(cartella_, QFile::encodeName(nome_).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (st.st_uid != geteuid()) {
        Fallito(QStringLiteral("il file appartiene a un altro utente"));
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        FallitoErrno(EISDIR);
        return true;
    }
    return false;
}

bool NuovoDocumento::Apri() {
    const QFileInfo info(destinazione_);
    nome_ = info.fileName();
    cartella_ = open(QFile::encodeName(info.absolutePath()).constData(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (cartella_ < 0) return FallitoErrno(errno);
    if (AltroProprietario()) return false;
    static constexpr char kCifre[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int tentativo = 0; tentativo < 100 && fd_ < 0; ++tentativo) {
        QString t = u'.' + nome_ + u'.';
        for (int i = 0; i < 8; ++i) t += QChar(kCifre[QRandomGenerator::global()->bounded(36)]);
        fd_ = openat(cartella_, QFile::encodeName(t).constData(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ >= 0)
            temporaneo_ = t;
        else if (errno != EEXIST)
            return FallitoErrno(errno);
    }
    if (fd_ < 0) return FallitoErrno(EEXIST);
    // The umask may only take rights away, and it must not take the operator's.
    fchmod(fd_, 0600);
    buffer_.reserve(kBuffer);
    return true;
}

bool NuovoDocumento::Svuota() {
    qsizetype fatti = 0;
    while (fatti < buffer_.size()) {
        const ssize_t n = write(fd_, buffer_.constData() + fatti, buffer_.size() - fatti);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FallitoErrno(n < 0 ? errno : EIO);
        fatti += n;
    }
    buffer_.clear();
    return true;
}

bool NuovoDocumento::Scrivi(QByteArrayView dati) {
    if (fd_ < 0 || !causa_.isEmpty()) return false;
    buffer_ += dati;
    return buffer_.size() < kBuffer || Svuota();
}

bool NuovoDocumento::Concludi() {
    if (fd_ < 0 || !causa_.isEmpty() || !Svuota()) return false;
    // Errors a file server keeps until the data reach it surface here, not after the rename.
    if (fsync(fd_) != 0 && errno != EINVAL) return FallitoErrno(errno);
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return FallitoErrno(errno);
    if (AltroProprietario()) return false;
    if (renameat(cartella_, QFile::encodeName(temporaneo_).constData(), cartella_,
                 QFile::encodeName(nome_).constData()) != 0)
        return FallitoErrno(errno);
    fatto_ = true;
    return true;
}
