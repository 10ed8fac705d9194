#pragma once

// The engine's errors, in one place: every failure is a number and a description, numbered
// as the operators' manuals know them (3021 no current record, 3022 a duplicate key, 3146 a
// call whose connection was lost, 3218 a lock held too long...). Each engine turns its own
// codes into these numbers in its Errori.cpp (the result codes of the files, the SQLSTATE of
// the server), so that the data layer and the forms compare numbers and show the
// description, whichever engine stands behind. Texts that both engines give are made
// here, so that they say the same thing in the same words.

#include <QString>

#include <exception>
#include <string>

namespace motore {

enum CodiceErrore : int {
    ErrGenerico = 3000,
    ErrSenzaIndice = 3019,
    ErrNessunModifica = 3020,  // update without add or edit
    ErrNessunRecord = 3021,    // no current record
    ErrChiaveDuplicata = 3022,
    ErrFileMancante = 3024,
    ErrDiscoPieno = 3026,
    ErrSolaLettura = 3027,
    ErrIO = 3043,
    ErrPercorso = 3044,  // the server has no such database (schema)
    ErrDanneggiato = 3049,
    ErrAccesso = 3051,
    ErrSintassi = 3075,
    ErrTabellaMancante = 3078,
    ErrChiamata = 3146,     // the server's connection was lost during a call
    ErrConnessione = 3151,  // the server cannot be reached or refuses the login
    ErrCampoTroppoPiccolo = 3163,
    ErrConflitto = 3197,  // the row was changed by another program since it was read
    ErrBloccato = 3218,
    ErrCampoMancante = 3265,
    ErrFormato = 3343,
    ErrIndiceMancante = 3800,
};

class Errore : public std::exception {
  public:
    Errore(int numero, QString descrizione);
    int Numero() const { return numero_; }
    const QString& Descrizione() const { return descrizione_; }
    // Number and description on one line, for messages that name the cause.
    QString Spiegazione() const {
        return QStringLiteral("Errore n. %1: %2").arg(numero_).arg(descrizione_);
    }
    const char* what() const noexcept override { return testo_.c_str(); }
    // A COMMIT that left with no answer: the server may have made it or not.
    bool EsitoIgnoto() const { return ignoto_; }
    void SegnaEsitoIgnoto() { ignoto_ = true; }

  private:
    int numero_;
    QString descrizione_;
    std::string testo_;
    bool ignoto_ = false;
};

// The errors every engine raises in the same words.
Errore ErroreChiaveDuplicata();
// `nome` as the caller wrote it.
Errore ErroreTabellaMancante(const QString& nome);
Errore ErroreIndiceMancante(const QString& nome);
Errore ErroreCampoMancante(const QString& nome);
Errore ErroreDatabaseChiuso();

}  // namespace motore
