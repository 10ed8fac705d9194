#pragma once

// Documents the program writes for the office's programs: each one written whole beside its
// name and renamed into place, and the lock a spreadsheet leaves beside one it holds open.

#include <QByteArray>
#include <QString>

#include <optional>

// Whether the program at that path is LibreOffice under one of its usual names.
bool ProgrammaLibreOffice(const QString& percorso);

// The fields of the lock file ".~lock.NAME#" that LibreOffice keeps beside a document it has
// open: its own user name, the system user, the computer, the time, its profile folder (URL).
struct BloccoLibreOffice {
    QString nome, utente, computer, ora, profilo;
};

// The lock as LibreOffice writes it (fields separated by ",", ended by ";", "\" escaping the
// next character); nothing when the text is not one.
std::optional<BloccoLibreOffice> LeggiBlocco(const QByteArray& testo);

// Whether a spreadsheet still holds `documento` open. A lock left by a LibreOffice that is no
// longer running on this computer is no sign of it; a lock naming another computer, or one
// that cannot be read, is, since nothing here can tell whether its owner is gone. A lock
// another login owns is none: the documents are their owner's alone.
bool DocumentoTenutoAperto(const QString& documento);

// Removes the lock beside `documento` when it is the operator's own and its owner is gone, so
// that the spreadsheet opens the new file without asking about the old session.
void RimuoviBloccoOrfano(const QString& documento);

// The name this login's document takes in a folder that several logins share: `documento`
// itself, unless another login's file (or link) holds that name; then the same name with the
// login's name before the extension (E_ChkCliC_mario.csv), beside the other and apart from it.
QString DocumentoProprio(const QString& documento);

// A new file written under a temporary name in the folder of `destinazione`, readable by the
// operator alone, and renamed over `destinazione` only once written whole: a symbolic link
// planted under that name is replaced, never followed, and a file of that name owned by
// another user is left alone. Dropped unfinished, the temporary file is removed.
class NuovoDocumento {
  public:
    explicit NuovoDocumento(QString destinazione);
    ~NuovoDocumento();
    NuovoDocumento(const NuovoDocumento&) = delete;
    NuovoDocumento& operator=(const NuovoDocumento&) = delete;

    // Each returns false once anything has failed; Causa() then says what, in Italian.
    bool Apri();
    bool Scrivi(QByteArrayView dati);
    bool Concludi();
    const QString& Causa() const { return causa_; }

  private:
    bool Svuota();
    bool Fallito(const QString& causa);
    bool FallitoErrno(int err);
    bool AltroProprietario();

    QString destinazione_, nome_, temporaneo_, causa_;
    QByteArray buffer_;
    int cartella_ = -1, fd_ = -1;
    bool fatto_ = false;
};
