// The engine's error type and the errors both engines give in the same words: a caller that
// compares a number, or shows a description, cannot tell which engine raised it.

#include "engine/Errori.h"

namespace motore {

Errore::Errore(int numero, QString descrizione)
    : numero_(numero), descrizione_(std::move(descrizione)) {
    testo_ = (QString::number(numero_) + QStringLiteral(": ") + descrizione_).toStdString();
}

Errore ErroreChiaveDuplicata() {
    return Errore(ErrChiaveDuplicata,
                  QStringLiteral("Le modifiche richieste non sono state apportate perché "
                                 "avrebbero creato valori duplicati nell'indice o nella chiave "
                                 "primaria."));
}

Errore ErroreTabellaMancante(const QString& nome) {
    return Errore(
        ErrTabellaMancante,
        QStringLiteral("Impossibile trovare la tabella o la query di input '%1'.").arg(nome));
}

Errore ErroreIndiceMancante(const QString& nome) {
    return Errore(ErrIndiceMancante,
                  QStringLiteral("'%1' non è un indice di questa tabella.").arg(nome));
}

Errore ErroreCampoMancante(const QString& nome) {
    return Errore(ErrCampoMancante,
                  QStringLiteral("Elemento non trovato nell'insieme: '%1'.").arg(nome));
}

Errore ErroreDatabaseChiuso() {
    return Errore(ErrGenerico, QStringLiteral("Il database è chiuso."));
}

}  // namespace motore
