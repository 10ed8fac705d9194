#pragma once

// The LOCALITA table of the code-tables database, keyed by locality and CAP: the one home of
// its reads and writes. A save says what happened (Esito.h), with the same rule for a row
// changed or deleted by another program as the clients; a read that fails says why.

#include "data/Esito.h"
#include "data/TabCodici.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

struct Sessione;

// One row as stored; a null column stays null.
struct RigaLocalita {
    QVariant localita, cap, provincia, prefisso, regione;
    bool operator==(const RigaLocalita&) const = default;
};

class TabellaLocalita {
  public:
    explicit TabellaLocalita(Sessione& s);
    ~TabellaLocalita();

    // Opens the table on its primary index; false when `riprova` gave up.
    bool Apri(const Riprova& riprova);
    void Chiudi();
    bool Aperta() const { return tabella_ != nullptr; }

    // The row `confronto` ("=", ">=", ">", "<") from the key (locality, CAP): in `riga`, or
    // nothing when there is none.
    Guasto Cerca(const QString& confronto, const QString& localita, const QString& cap,
                 std::optional<RigaLocalita>& riga);

    // Stores `nuova` in one transaction, a new row or over the one of its key. `letta` is the
    // row read for a change of that same key: found otherwise, the save is CambiatoDaAltri
    // (unless `sovrascrivi`) or CancellatoDaAltri. An `inserimento` expects no row of its
    // key: one found (another operator's, stored since) is CambiatoDaAltri too.
    EsitoSalvataggio Salva(const RigaLocalita& nuova, const RigaLocalita* letta, bool inserimento,
                           bool sovrascrivi);
    // Deletes the row of that key; CancellatoDaAltri when it is gone already. One statement:
    // no transaction is needed for it to happen whole or not at all.
    EsitoSalvataggio Elimina(const QString& localita, const QString& cap);

  private:
    RigaLocalita Corrente() const;

    Sessione& s_;
    std::unique_ptr<motore::Recordset> tabella_;
};
