#pragma once

// The client search as data: the query built from the criteria and the sort, and the cursor
// that streams its rows as the engine's own UTF-8 text, so that a million rows never become a
// million sets of strings. The search form only lays the rows out.

#include "data/Esito.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <functional>
#include <memory>

namespace motore {
class Recordset;
}

struct Sessione;

// The criteria boxes of the search (1 to 7; 0 unused) and the grid's columns (0 to 9).
inline constexpr int kCriteriRicerca = 7;
inline constexpr int kColonneRicerca = 10;

// The query of the criteria as typed (blank adds nothing), sorted by grid column
// `colonnaOrdine` (then by name) in `discendente` or ascending order.
QString QueryRicerca(const std::array<QString, kCriteriRicerca + 1>& criteri, int colonnaOrdine,
                     bool discendente);

// One row of the search, column by column as the grid shows them: valid until the next row.
// The code is the text of its number, empty for none.
struct RigaRicerca {
    std::array<QByteArrayView, kColonneRicerca> colonne;
    std::array<bool, kColonneRicerca> nulle{};
};

class CursoreRicerca {
  public:
    CursoreRicerca();
    ~CursoreRicerca();

    Guasto Apri(Sessione& s, const QString& query);
    bool Aperto() const { return rs_ != nullptr; }
    // Hands up to `massimo` rows to `riga`, stopping early when `basta` (asked every 256
    // rows) says so. Closes itself when the rows run out, or on a failure whose cause it
    // returns: the rows handed before stay handed.
    Guasto Leggi(int massimo, const std::function<bool()>& basta,
                 const std::function<void(const RigaRicerca&)>& riga);
    // Ends the read: under a rollback journal (files on a network folder) other programs
    // wait on it to write.
    void Chiudi();

  private:
    std::unique_ptr<motore::Recordset> rs_;
    std::array<int, kColonneRicerca> campi_{};
    QByteArray altroNumero_;
};
