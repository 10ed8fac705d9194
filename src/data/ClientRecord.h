#pragma once

// The one client record, a field per column of Clienti, and the fixed-width text its
// fields are made of: what the form shows, the table stores and the import brings in.

#include "app/Valori.h"

#include <QString>

#include <cstdint>

// A text of a fixed number of characters: a longer text keeps its first characters, a
// shorter one is padded with blanks, and reading always yields the full width.
template <int N>
class FixedText {
  public:
    static constexpr int Larghezza = N;

    FixedText() : testo_(N, ' ') {}
    FixedText(const QString& s) { *this = s; }  // NOLINT: assigning text is the point

    FixedText& operator=(const QString& s) {
        testo_ = AllaLarghezza(s, N);
        return *this;
    }

    const QString& str() const { return testo_; }
    operator const QString&() const { return testo_; }  // NOLINT
    QString trimmed() const { return testo_.trimmed(); }
    bool blank() const { return testo_.trimmed().isEmpty(); }
    void clear() { testo_.fill(' '); }

    bool operator==(const FixedText&) const = default;

  private:
    QString testo_;
};

// One client, one field per column of Clienti, in the table's column order.
struct ClientRecord {
    std::int32_t CliCodice = 0;  // 0: no client held
    FixedText<35> CliRagsoc;
    FixedText<35> CliRagsocEstesa;
    FixedText<35> CliIndirizzo;
    FixedText<35> CliLocalita;
    FixedText<9> CliCap;
    FixedText<3> CliProvincia;
    FixedText<3> CliNazione;
    FixedText<12> CliPartitaIva;
    FixedText<16> CliCodiceFiscale;
    FixedText<4> CliCategoria;
    FixedText<14> CliTelefono;
    FixedText<9> CliContabile;
    FixedText<20> CliAcronimo;
    FixedText<12> CliEsenzioneNum;
    std::int32_t CliEsenzioneDat = 0;  // day number, 0: no date

    bool operator==(const ClientRecord&) const = default;
};
