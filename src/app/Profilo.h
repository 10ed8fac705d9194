#pragma once

// Environment files ("private profiles", INI): read and written by our own code so that
// they behave the same whatever wrote them, CRLF or LF, with or without garbage inside.

#include <QString>

#include <functional>

class ServizioMessaggi;

// The value of one key as the program uses it: at most 99 characters, nothing from the first
// NUL, TAB or " ;" on, trimmed. "" when the file, the section or the key is missing.
// `tagliato`, when given, tells whether the limit cut the value as written.
QString LeggiIni(const QString& file, const QString& sezione, const QString& chiave,
                 bool* tagliato = nullptr);

// Sets one key and leaves every other line of the file as it was. Failures are ignored.
void ScriviIni(const QString& file, const QString& sezione, const QString& chiave,
               const QString& valore);

// The values the program writes back (window placement) for this login alone: read from the
// login's own file first, then from the environment file; written to the environment file,
// or, when that cannot be written (an operator and /etc/KestorEx.ini), to the login's own.
// Once the own file holds a key it keeps it. The own file is FileIniUtente's.
QString LeggiIniUtente(const QString& file, const QString& sezione, const QString& chiave);
void ScriviIniUtente(const QString& file, const QString& sezione, const QString& chiave,
                     const QString& valore);
// The environment file's name under the login's configuration folder ($XDG_CONFIG_HOME, else
// ~/.config) and anagrafica/.
QString FileIniUtente(const QString& file);

// The system directory, ending in exactly one "/".
QString DirWindows();

// `dir` ending in exactly one "/"; "" stays "".
QString ConBarraFinale(QString dir);

// Text up to the first NUL.
QString TagliaNul(const QString& testo);

// Outcome of looking a path up: one of the two constants below or the errno that stopped it.
using EsameFile = std::function<int(const QString& percorso)>;
inline constexpr int kFileTrovato = 0;
inline constexpr int kFileAssente = -1;  // the folder is there, the file is not

// The real look-up: stat() on the path, and on its folder when the path is not found.
int EsaminaFile(const QString& percorso);

// Whether `percorso` names an existing regular file. A quoted program name loses its quotes
// in the caller's variable too. Errors are explained to the operator, who may retry.
bool EsisteFile(QString& percorso, ServizioMessaggi& msg, const EsameFile& esame = EsaminaFile);

// The classic file-error number for an errno; 0 when there is none.
int ErroreDaErrno(int err);

// Explains a file error. Returns 0 when the operator wants to retry, 2 when he gives up,
// 9 for errors handled elsewhere (55, 70) and 3 for numbers it does not know.
inline constexpr int kErroreRiprova = 0;
inline constexpr int kErroreRinuncia = 2;
inline constexpr int kErroreIgnoto = 3;
inline constexpr int kErroreAltrove = 9;
int ErroreFile(int numero, const QString& nomeFile, ServizioMessaggi& msg);

// The folder part of a path, separator included; the whole path when it has no separator.
QString CartellaDi(const QString& percorso, const QString& separatore);

// The trimmed path without its final separator. Trims the caller's variable too.
QString BarraFinale(QString& percorso, const QString& separatore);
QString BarraFinale(const QString& percorso, const QString& separatore);
