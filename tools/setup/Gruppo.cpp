// An installation on files given to the operators' group: the data root, the company folders,
// the databases and what SQLite keeps beside them, walked by descriptor so that a link planted
// inside is reported and never followed, and the data themselves left untouched.

#include "Gruppo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace setup {

namespace {

constexpr mode_t kCartella = 02770;
constexpr mode_t kTemp = 03770;
constexpr mode_t kFile = 0660;
// A database and what SQLite keeps beside it.
constexpr const char* kAccanto[] = {"", "-wal", "-shm", "-journal"};

std::optional<gid_t> IdGruppo(const QString& nome) {
    char buffer[16384];
    group gr{}, *trovato = nullptr;
    if (getgrnam_r(QFile::encodeName(nome).constData(), &gr, buffer, sizeof buffer, &trovato) !=
            0 ||
        !trovato)
        return std::nullopt;
    return gr.gr_gid;
}

class Sistemazione {
  public:
    Sistemazione(gid_t gid, const QString& gruppo, QTextStream& out, QTextStream& err)
        : gid_(gid), gruppo_(gruppo), out_(out), err_(err) {}

    // Group and mode of what fd has open; a mode of 0 keeps the present one but for the
    // others' write and adds the group's rights and the set-group-ID bit (the data root,
    // which may hold more than the program's).
    void Sistema(int fd, const QString& percorso, mode_t modo) {
        struct stat st {};
        if (fstat(fd, &st) != 0) return Errore(percorso);
        if (modo == 0) modo = ((st.st_mode & 07777) & ~mode_t(0002)) | 02070;
        if (fchown(fd, uid_t(-1), gid_) != 0 || fchmod(fd, modo) != 0) return Errore(percorso);
        out_ << "al gruppo " << gruppo_ << " (" << QString::number(modo, 8).rightJustified(4, u'0')
             << "): " << QDir::toNativeSeparators(percorso) << "\n";
    }

    // Opens a name inside a folder without following a link: -1 when there is nothing of that
    // name, or something other than what was expected (said on err).
    int Apri(int cartella, const QString& nome, const QString& percorso, bool suCartella) {
        const int fd =
            openat(cartella, QFile::encodeName(nome).constData(),
                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (suCartella ? O_DIRECTORY : 0));
        if (fd < 0 && errno != ENOENT) {
            if (errno == ELOOP || errno == ENOTDIR) {
                err_ << "errore: " << QDir::toNativeSeparators(percorso)
                     << (suCartella ? " non è una cartella" : " non è un file")
                     << " (o è un collegamento): lasciato com'è\n";
                riuscito_ = false;
            } else {
                Errore(percorso);
            }
        }
        struct stat st {};
        if (fd >= 0 && !suCartella && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            close(fd);
            err_ << "errore: " << QDir::toNativeSeparators(percorso)
                 << " non è un file: lasciato com'è\n";
            riuscito_ = false;
            return -1;
        }
        return fd;
    }

    // The database `nome` in the folder and the files beside it.
    void Database(int cartella, const QString& percorsoCartella, const QString& nome) {
        for (const char* accanto : kAccanto) {
            const QString file = nome + QLatin1String(accanto);
            const QString percorso = percorsoCartella + u'/' + file;
            const int fd = Apri(cartella, file, percorso, false);
            if (fd < 0) continue;
            Sistema(fd, percorso, kFile);
            close(fd);
        }
    }

    void Ditta(int radice, const QString& percorsoRadice, const QString& azienda) {
        const QString percorso = percorsoRadice + u'/' + azienda;
        const int fd = Apri(radice, azienda, percorso, true);
        if (fd < 0) return;
        Sistema(fd, percorso, kCartella);
        Database(fd, percorso, QStringLiteral("Completo.mdb"));
        close(fd);
    }

    void Errore(const QString& percorso) {
        err_ << "errore: " << QDir::toNativeSeparators(percorso) << ": "
             << QString::fromLocal8Bit(strerror(errno)) << "\n";
        riuscito_ = false;
    }

    bool Riuscito() const { return riuscito_; }

  private:
    gid_t gid_;
    QString gruppo_;
    QTextStream& out_;
    QTextStream& err_;
    bool riuscito_ = true;
};

// The folders under the data root that hold a company's database.
QStringList Ditte(int radice) {
    QStringList ditte;
    const int copia = dup(radice);
    DIR* d = copia < 0 ? nullptr : fdopendir(copia);
    if (!d) {
        if (copia >= 0) close(copia);
        return ditte;
    }
    while (const dirent* voce = readdir(d)) {
        const QString nome = QFile::decodeName(voce->d_name);
        if (nome == "." || nome == ".." || nome == "temp") continue;
        struct stat st {};
        if (fstatat(radice, voce->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const QByteArray file = QByteArray(voce->d_name) + "/Completo.mdb";
        if (fstatat(radice, file.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) ditte << nome;
    }
    closedir(d);
    ditte.sort();
    return ditte;
}

}  // namespace

bool GruppoEsistente(const QString& gruppo, QTextStream& err) {
    if (IdGruppo(gruppo)) return true;
    err << "errore: il gruppo " << gruppo << " non esiste (si crea con: groupadd " << gruppo
        << ")\n";
    err.flush();
    return false;
}

bool RadicePerIlGruppo(const QString& radice, QTextStream& err) {
    // The group will write in the data root: never the system's own.
    if (QFileInfo(QDir::cleanPath(QDir(radice).absolutePath())).canonicalFilePath() !=
        QLatin1String("/"))
        return true;
    err << "errore: la radice dei dati non può essere /\n";
    err.flush();
    return false;
}

bool DaiAlGruppo(const QString& radice, const QString& azienda, const QString& gruppo,
                 QTextStream& out, QTextStream& err) {
    const std::optional<gid_t> gid = IdGruppo(gruppo);
    if (!gid) return GruppoEsistente(gruppo, err);
    if (!RadicePerIlGruppo(radice, err)) return false;
    Sistemazione s(*gid, gruppo, out, err);
    QString percorso = QDir::cleanPath(QDir(radice).absolutePath());
    // The data root is the administrator's to name: a link there is followed.
    const int fd =
        open(QFile::encodeName(percorso).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        s.Errore(percorso);
    } else {
        s.Sistema(fd, percorso, 0);
        s.Database(fd, percorso, QStringLiteral("tabkes.mdb"));
        if (mkdirat(fd, "temp", 0700) != 0 && errno != EEXIST) s.Errore(percorso + "/temp");
        if (const int temp = s.Apri(fd, QStringLiteral("temp"), percorso + "/temp", true);
            temp >= 0) {
            s.Sistema(temp, percorso + "/temp", kTemp);
            close(temp);
        }
        for (const QString& ditta : azienda.isEmpty() ? Ditte(fd) : QStringList{azienda})
            s.Ditta(fd, percorso, ditta);
        close(fd);
    }
    out.flush();
    err.flush();
    return s.Riuscito();
}

}  // namespace setup
