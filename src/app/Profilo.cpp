// Environment files read and written byte by byte: a write changes one line and gives every
// other back as it was (line ends, garbage, encodings), and never leaves half a file; the
// programs sharing a file take turns. The values the program writes back go to the login's
// own file when the shared one is closed.

#include "app/Profilo.h"

#include "app/Cp1252.h"
#include "app/Messaggi.h"
#include "app/Toolkit.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <cerrno>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

struct Riga {
    QByteArray testo;
    QByteArray fine;  // "\r\n", "\n", or "" for a last line without one
};

// Split on bytes, not on decoded text, so that the writer can give back every line untouched.
std::vector<Riga> Righe(const QByteArray& dati) {
    std::vector<Riga> righe;
    qsizetype inizio = 0;
    while (inizio < dati.size()) {
        const qsizetype a = dati.indexOf('\n', inizio);
        if (a < 0) {
            righe.push_back({dati.mid(inizio), {}});
            break;
        }
        const qsizetype fineTesto = (a > inizio && dati[a - 1] == '\r') ? a - 1 : a;
        righe.push_back(
            {dati.mid(inizio, fineTesto - inizio), dati.mid(fineTesto, a + 1 - fineTesto)});
        inizio = a + 1;
    }
    return righe;
}

QByteArray Unisci(const std::vector<Riga>& righe) {
    QByteArray dati;
    for (const Riga& r : righe) dati += r.testo + r.fine;
    return dati;
}

// Files written by Windows tools are in its code page; a line that is not valid UTF-8 is
// taken as such rather than filled with replacement characters.
QString Decodifica(const QByteArray& byte) {
    // Stateless, or a broken sequence at the end of the line would be held back, not flagged.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString testo = utf8(byte);
    return utf8.hasError() ? DaCp1252(byte) : testo;
}

// Programs sharing an environment file take turns on its folder, which every login that
// reads the file may open, also where it may not write: a writer reads the file as the last
// one left it, and a reader never sees a write half done. A turn that does not come within
// two seconds, or a folder that takes no lock, leaves the program to go on without.
class Turno {
  public:
    Turno(const QString& file, int modo) {
        const QFileInfo info(file);
        const QString vero = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
        fd_ = ::open(QFile::encodeName(QFileInfo(vero).absolutePath()).constData(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int prova = 0; fd_ >= 0 && prova < 200; ++prova) {
            if (::flock(fd_, modo | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
            ::usleep(10000);
        }
    }
    ~Turno() {
        if (fd_ >= 0) ::close(fd_);
    }
    Turno(const Turno&) = delete;
    Turno& operator=(const Turno&) = delete;

  private:
    int fd_ = -1;
};

enum class Tipo { Vuota, Commento, Sezione, Chiave };

struct Voce {
    Tipo tipo = Tipo::Vuota;
    QString nome;
    QString valore;
};

Voce Classifica(const QByteArray& riga) {
    const QString s = Decodifica(riga).trimmed();
    if (s.isEmpty()) return {};
    if (s.startsWith(u';')) return {Tipo::Commento, {}, {}};
    if (s.startsWith(u'[')) {
        // A header without its bracket is read as an ordinary line, as the classic reader does.
        const qsizetype chiusa = s.lastIndexOf(u']');
        if (chiusa > 0) return {Tipo::Sezione, s.mid(1, chiusa - 1).trimmed(), {}};
    }
    const qsizetype uguale = s.indexOf(u'=');
    if (uguale < 0) return {Tipo::Chiave, s, {}};
    return {Tipo::Chiave, s.left(uguale).trimmed(), s.mid(uguale + 1).trimmed()};
}

bool StessoNome(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString SenzaVirgolette(const QString& v) {
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

// The program always read into a 100-byte buffer and let remarks follow the value.
constexpr qsizetype kLunghezzaValore = 99;

QString ValoreUsabile(const QString& grezzo, qsizetype massimo = kLunghezzaValore) {
    QString v = TagliaNul(grezzo.left(massimo));
    const qsizetype tab = v.indexOf(u'\t');
    if (tab >= 0) v.truncate(tab);
    const qsizetype nota = v.indexOf(QStringLiteral(" ;"));
    if (nota >= 0) v.truncate(nota);
    return v.trimmed();
}

QByteArray StileFineRiga(const QByteArray& dati) {
    const qsizetype a = dati.indexOf('\n');
    return (a > 0 && dati[a - 1] == '\r') ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
}

QByteArray ConChiave(const QByteArray& dati, const QString& sezione, const QString& chiave,
                     const QString& valore) {
    const QByteArray fine = StileFineRiga(dati);
    const QByteArray nuova = (chiave + u'=' + valore).toUtf8();
    std::vector<Riga> righe = Righe(dati);

    std::optional<size_t> intestazione;
    for (size_t i = 0; i < righe.size() && !intestazione; ++i) {
        const Voce v = Classifica(righe[i].testo);
        if (v.tipo == Tipo::Sezione && StessoNome(v.nome, sezione)) intestazione = i;
    }

    if (intestazione) {
        size_t ultimaPiena = *intestazione;
        for (size_t i = *intestazione + 1; i < righe.size(); ++i) {
            const Voce v = Classifica(righe[i].testo);
            if (v.tipo == Tipo::Sezione) break;
            if (v.tipo == Tipo::Chiave && StessoNome(v.nome, chiave)) {
                righe[i].testo = nuova;
                return Unisci(righe);
            }
            if (v.tipo != Tipo::Vuota) ultimaPiena = i;
        }
        if (righe[ultimaPiena].fine.isEmpty()) righe[ultimaPiena].fine = fine;
        righe.insert(righe.begin() + static_cast<std::ptrdiff_t>(ultimaPiena) + 1,
                     Riga{nuova, fine});
        return Unisci(righe);
    }

    QByteArray risultato = dati;
    if (!righe.empty()) {
        if (righe.back().fine.isEmpty()) risultato += fine;
        if (Classifica(righe.back().testo).tipo != Tipo::Vuota) risultato += fine;
    }
    return risultato + '[' + sezione.toUtf8() + ']' + fine + nuova + fine;
}

// A new file beside the old one, renamed over it: a crash leaves one or the other, whole.
// It takes the old one's owner and group, which a file shared by a group of operators needs;
// where it cannot, or the old one has an access list, which it would lose, it is not made.
bool PerSostituzione(const QString& file, const QByteArray& dati) {
    QSaveFile uscita(file);
    // Unbuffered, so that a full disk fails the write itself, which then commits nothing.
    if (!uscita.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    const QByteArray nome = QFile::encodeName(file);
    struct stat vecchio {
    }, nuovo{};
    if (::stat(nome.constData(), &vecchio) == 0) {
        const bool lista = ::getxattr(nome.constData(), "system.posix_acl_access", nullptr, 0) >= 0;
        if (lista || ::fstat(uscita.handle(), &nuovo) != 0 ||
            ((nuovo.st_uid != vecchio.st_uid || nuovo.st_gid != vecchio.st_gid) &&
             ::fchown(uscita.handle(), vecchio.st_uid, vecchio.st_gid) != 0)) {
            uscita.cancelWriting();
            return false;
        }
    }
    return uscita.write(dati) == dati.size() && uscita.commit();
}

// For a file the operators may write in a folder they may not (/etc/KestorEx.ini). A write
// that falls short puts the old bytes back rather than leave half a file: the file is cut
// only after, so that the old bytes always have their room on a full disk.
bool SulPosto(const QString& file, const QByteArray& dati, const QByteArray& vecchi) {
    QFile uscita(file);
    // Unbuffered: a write that fails must leave nothing behind to be written later.
    if (!uscita.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) return false;
    if (uscita.write(dati) == dati.size() && uscita.resize(dati.size())) return true;
    uscita.seek(0);
    uscita.write(vecchi);
    uscita.resize(vecchi.size());
    return false;
}

bool ScriviChiave(const QString& file, const QString& sezione, const QString& chiave,
                  const QString& valore) {
    const Turno turno(file, LOCK_EX);
    QByteArray dati;
    QFile esistente(file);
    if (esistente.exists()) {
        // Rewriting a file we could not read would lose all its other keys.
        if (!esistente.open(QIODevice::ReadOnly)) return false;
        dati = esistente.readAll();
        if (esistente.error() != QFileDevice::NoError) return false;
        esistente.close();
    }
    const QByteArray nuovi = ConChiave(dati, sezione.trimmed(), chiave.trimmed(), valore);
    return PerSostituzione(file, nuovi) || (esistente.exists() && SulPosto(file, nuovi, dati));
}

// The folder of the login's own file, made when missing, and written only when it is the
// login's: a folder of another login (a HOME left to another's by su or sudo) is never
// written, nor one that others may.
bool CartellaPropria(const QString& cartella) {
    const QByteArray nome = QFile::encodeName(cartella);
    const QByteArray sopra = QFile::encodeName(QFileInfo(cartella).absolutePath());
    struct stat st {};
    if (::lstat(sopra.constData(), &st) != 0 && ::mkdir(sopra.constData(), 0700) != 0) return false;
    if (::mkdir(nome.constData(), 0700) != 0 && errno != EEXIST) return false;
    return ::lstat(nome.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 0022) == 0;
}

}  // namespace

QString LeggiIni(const QString& file, const QString& sezione, const QString& chiave,
                 bool* tagliato) {
    if (tagliato) *tagliato = false;
    QByteArray dati;
    {
        const Turno turno(file, LOCK_SH);
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) return {};
        dati = f.readAll();
    }
    const QString cercata = sezione.trimmed();
    const QString nome = chiave.trimmed();
    bool dentro = false;
    for (const Riga& r : Righe(dati)) {
        const Voce v = Classifica(r.testo);
        if (v.tipo == Tipo::Sezione) {
            // Only the first section of that name counts.
            if (dentro) break;
            dentro = StessoNome(v.nome, cercata);
        } else if (dentro && v.tipo == Tipo::Chiave && StessoNome(v.nome, nome)) {
            const QString grezzo = SenzaVirgolette(v.valore);
            const QString valore = ValoreUsabile(grezzo);
            if (tagliato) *tagliato = valore != ValoreUsabile(grezzo, grezzo.size());
            return valore;
        }
    }
    return {};
}

void ScriviIni(const QString& file, const QString& sezione, const QString& chiave,
               const QString& valore) {
    ScriviChiave(file, sezione, chiave, valore);
    toolkit::AttendiEventi();
}

QString FileIniUtente(const QString& file) {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative one is to be ignored.
    if (!base.startsWith(u'/')) {
        QString casa = qEnvironmentVariable("HOME");
        if (casa.isEmpty()) {
            const passwd* pw = getpwuid(geteuid());
            if (pw) casa = QFile::decodeName(pw->pw_dir);
        }
        base = casa + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/anagrafica/") + QFileInfo(file).fileName();
}

QString LeggiIniUtente(const QString& file, const QString& sezione, const QString& chiave) {
    const QString proprio = LeggiIni(FileIniUtente(file), sezione, chiave);
    return proprio.isEmpty() ? LeggiIni(file, sezione, chiave) : proprio;
}

void ScriviIniUtente(const QString& file, const QString& sezione, const QString& chiave,
                     const QString& valore) {
    const QString proprio = FileIniUtente(file);
    if ((!LeggiIni(proprio, sezione, chiave).isEmpty() ||
         !ScriviChiave(file, sezione, chiave, valore)) &&
        CartellaPropria(QFileInfo(proprio).absolutePath()))
        ScriviChiave(proprio, sezione, chiave, valore);
    toolkit::AttendiEventi();
}

QString DirWindows() {
    return ConBarraFinale(QStringLiteral("/etc"));
}

QString ConBarraFinale(QString dir) {
    if (dir.isEmpty()) return dir;
    while (dir.endsWith(u'/')) dir.chop(1);
    return dir + u'/';
}

QString TagliaNul(const QString& testo) {
    const qsizetype nul = testo.indexOf(QChar(u'\0'));
    return nul < 0 ? testo : testo.left(nul);
}

int EsaminaFile(const QString& percorso) {
    // stat() would silently stop at the NUL and look up another name.
    if (percorso.contains(QChar(u'\0'))) return EINVAL;
    struct stat st {};
    if (::stat(QFile::encodeName(percorso).constData(), &st) == 0)
        return S_ISREG(st.st_mode) ? kFileTrovato : kFileAssente;
    const int err = errno;
    if (err != ENOENT) return err;

    // ENOENT does not say whether the file or its folder is missing; only the latter is an
    // error worth telling the operator about.
    const qsizetype barra = percorso.lastIndexOf(u'/');
    const QString cartella = barra < 0 ? QStringLiteral(".") : percorso.left(barra + 1);
    if (::stat(QFile::encodeName(cartella).constData(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? kFileAssente : ENOTDIR;
}

bool EsisteFile(QString& percorso, ServizioMessaggi& msg, const EsameFile& esame) {
    if (percorso.trimmed().isEmpty()) return false;
    // Program names arrive quoted, often followed by their arguments.
    const qsizetype virgolette = percorso.indexOf(u'"', 1);
    if (virgolette >= 1) percorso = percorso.mid(1, virgolette - 1) + percorso.mid(virgolette + 1);
    for (;;) {
        const int esito = esame ? esame(percorso) : EsaminaFile(percorso);
        if (esito == kFileTrovato) return true;
        if (esito == kFileAssente) return false;
        if (ErroreFile(ErroreDaErrno(esito), percorso, msg) != 0) return false;
    }
}

int ErroreDaErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return 76;
        case EACCES:
        case EPERM:
            return 75;
        case EIO:
            return 57;
        case ENOSPC:
        case EDQUOT:
            return 61;
        case ENAMETOOLONG:
        case EINVAL:
            return 52;
        case ENODEV:
        case ENXIO:
            return 68;
        case EBUSY:
        case ETXTBSY:
            return 70;
        default:
            return 0;
    }
}

int ErroreFile(int numero, const QString& nomeFile, ServizioMessaggi& msg) {
    const QString drive = nomeFile.left(2);
    const QString spazi = QStringLiteral("   ");
    QString testo;
    QString nome = nomeFile;
    Pulsanti pulsanti = Pulsanti::OK;
    switch (numero) {
        case 52:
        case 64:
            testo = QStringLiteral("Il nome dell'archivio non è corretto.");
            break;
        case 54:
            testo = QStringLiteral("L'archivio non si può aprire per quel tipo di accesso.");
            break;
        case 57:
            testo = QStringLiteral("Errore di I/O sul DEVICE del file") + spazi + drive;
            pulsanti = Pulsanti::RiprovaAnnulla;
            break;
        case 61:
            testo = QStringLiteral("Non c'è più spazio sul disco") + spazi + drive;
            pulsanti = Pulsanti::RiprovaAnnulla;
            break;
        case 62:
            testo = QStringLiteral(
                "L'archivio ha un fine-file non standard,\n"
                "o è stata fatta una lettura oltre la fine.");
            break;
        case 68:
            testo = QStringLiteral("Questo device non e' utilizzabile") + spazi + drive;
            break;
        case 71:
            testo = QStringLiteral("Il disco non è pronto") + spazi + drive;
            pulsanti = Pulsanti::RiprovaAnnulla;
            break;
        case 75:
            testo = QStringLiteral("Errore di accesso al percorso/file");
            break;
        case 76:
            testo = QStringLiteral("Questo percorso non esiste.");
            pulsanti = Pulsanti::RiprovaAnnulla;
            // The operator has to fix the folder, so that is what the title names.
            nome = BarraFinale(CartellaDi(nomeFile, QStringLiteral("/")), QStringLiteral("/"));
            break;
        case 55:
        case 70:
            return kErroreAltrove;
        default:
            return kErroreIgnoto;
    }
    const Risposta r =
        msg.Mostra(testo, QStringLiteral("Errori su  ") + nome, pulsanti, Icona::Esclamazione);
    return r == Risposta::Riprova ? kErroreRiprova : kErroreRinuncia;
}

QString CartellaDi(const QString& percorso, const QString& separatore) {
    const QString p = percorso.trimmed();
    const qsizetype pos = separatore.isEmpty() ? -1 : p.lastIndexOf(separatore);
    if (pos < 0) return p;
    return p.left(pos + separatore.size()).trimmed();
}

QString BarraFinale(QString& percorso, const QString& separatore) {
    percorso = percorso.trimmed();
    if (percorso.isEmpty() || separatore.isEmpty() || !percorso.endsWith(separatore))
        return percorso;
    return percorso.left(percorso.size() - 1);
}

QString BarraFinale(const QString& percorso, const QString& separatore) {
    QString copia = percorso;
    return BarraFinale(copia, separatore);
}
