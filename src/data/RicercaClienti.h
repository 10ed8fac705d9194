#pragma once

// The client search as data: the query built from the criteria and the sort, and the cursor
// that streams its rows as the engine's own UTF-8 text, so that a million rows never become a
// million sets of strings. The search form only lays the rows out.

#include "data/Esito.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

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

    // Every row of the search was handed, each cell as stored (no tab split one), and
    // Riordina can sort them as the database would.
    bool Completa() const { return completa_; }
    int Righe() const { return int(nulle_.size()); }
    // Nothing was saved in the database since the search began: a query run now would give
    // the rows handed. Asks the database once.
    bool Invariata(Sessione& s) const;
    // The order of the rows handed (0 first, as last ordered) in the query's order by grid
    // column `colonna`: `cella(riga, colonna)` gives a row's cell as shown without the blanks
    // that end it. The rows are then taken to be in that order.
    std::vector<int> Riordina(int colonna, bool discendente,
                              const std::function<QByteArrayView(int, int)>& cella);

  private:
    std::unique_ptr<motore::Recordset> rs_;
    std::array<int, kColonneRicerca> campi_{};
    QByteArray altroNumero_;
    QByteArray versione_;
    std::vector<std::uint16_t> nulle_;  // by row handed: bit c, column c was null
    bool completa_ = false;
};
