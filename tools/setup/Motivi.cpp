// The texts of the import's refusals, written once so that the rejected-lines file and the
// terminal always say the same thing.

#include "Motivi.h"

#include <QRegularExpression>

namespace setup::motivo {

namespace {

const QString kPartitaIva = QStringLiteral("partita IVA");
const QString kCodiceFiscale = QStringLiteral("codice fiscale");

// "codice fiscale X già presente: cliente 12 ROSSI MARIO", then the line it comes from, the
// holder's own value where it differs, and how many more hold it.
QString GiaPresente(const QString& campo, bool campoPartitaIva, const QString& valore,
                    const Detentore& d) {
    // One arg() for every piece: a "%1" in a value read from the list stays as it is.
    QString t = QStringLiteral("%1 %2 già presente: cliente %3 %4")
                    .arg(campo, valore, QString::number(d.codice), d.nome.trimmed());
    if (d.riga > 0) t += QStringLiteral(" della riga %1").arg(d.riga);
    if (d.perPartitaIva != campoPartitaIva ||
        d.valore.trimmed().compare(valore, Qt::CaseInsensitive) != 0)
        t += QStringLiteral(" (%1 %2)")
                 .arg(d.perPartitaIva ? kPartitaIva : kCodiceFiscale, d.valore.trimmed());
    if (d.altri > 0) t += QStringLiteral(" e altri %1").arg(d.altri);
    return t;
}

// A value of the right length whose check character, or office code, is wrong.
QString Cifre(const QString& campo, const QString& valore, Difetto d) {
    if (d == Difetto::Ufficio)
        return QStringLiteral("%1 %2: codice ufficio %3 inesistente")
            .arg(campo, valore, valore.mid(7, 3));
    return QStringLiteral("%1 %2: %3")
        .arg(campo, valore,
             valore.size() == 16 ? QStringLiteral("carattere di controllo errato")
                                 : QStringLiteral("cifra di controllo errata"));
}

}  // namespace

QString NonLeggibile(const QString& file, const QString& causa) {
    return QStringLiteral("impossibile leggere %1: %2").arg(file, causa);
}
QString UnaCartella(const QString& file) {
    return QStringLiteral("impossibile leggere %1: è una cartella, non un elenco").arg(file);
}
QString TroppoGrande(const QString& file) {
    return QStringLiteral("%1 supera 1 GiB: non è un elenco di clienti").arg(file);
}
QString FileVuoto() {
    return QStringLiteral("file vuoto");
}
QString Utf16() {
    return QStringLiteral("testo UTF-16: salvare l'elenco come CSV in UTF-8 o Windows-1252");
}
QString Binario() {
    return QStringLiteral("contenuto binario: non è un testo CSV");
}
QString IntestazioneSconosciuta() {
    return QStringLiteral(
        "l'intestazione non è né quella dell'esportazione del programma "
        "(CODICE;RAGIONE SOCIALE;...) né i nomi delle colonne di Clienti (CliCodice, "
        "CliRagsoc, ...)");
}
QString Intestazione(const QString& errore) {
    return QStringLiteral("intestazione: ") + errore;
}
QString ListaCambiata() {
    return QStringLiteral(
        "l'elenco è cambiato mentre veniva letto (dimensione o data di modifica): forse lo "
        "si sta ancora scrivendo; importarlo quando è completo");
}

QString VirgoletteAperte() {
    return QStringLiteral("virgolette aperte e mai chiuse");
}
QString TestoDopoVirgolette() {
    return QStringLiteral("testo dopo le virgolette di chiusura");
}
QString RecordTroppoLungo() {
    return QStringLiteral("riga troppo lunga");
}
QString RigaTroppoLunga(qsizetype massimo, qsizetype byte) {
    return QStringLiteral("riga più lunga di %1 byte (%2)").arg(massimo).arg(byte);
}
QString ByteNul() {
    return QStringLiteral("contenuto binario (un byte NUL)");
}
QString NumeroCampi(qsizetype campi, qsizetype attesi) {
    return (campi == 1 ? QStringLiteral("1 campo") : QStringLiteral("%1 campi").arg(campi)) +
           QStringLiteral(" dove l'intestazione ne ha %1").arg(attesi);
}
QString Utf8TraWindows1252() {
    return QStringLiteral("testo UTF-8 in un file Windows-1252 (codifiche mescolate)");
}
QString NonUtf8TraUtf8() {
    return QStringLiteral("testo non UTF-8 in un file UTF-8 (codifiche mescolate)");
}

QString CodiceNonValido(const QString& codice, std::int32_t ultimo) {
    return QStringLiteral("codice %1 non è un numero intero da 1 a %2")
        .arg(codice, QString::number(ultimo));
}
QString SenzaRagioneSociale() {
    return QStringLiteral("manca la ragione sociale");
}
QString CodiceFiscaleErrato(const QString& codiceFiscale, Difetto d) {
    if (d == Difetto::Lunghezza)
        return QStringLiteral("codice fiscale %1 né di 16 caratteri né di 11 cifre")
            .arg(codiceFiscale);
    return Cifre(kCodiceFiscale, codiceFiscale, d);
}
QString TroppoLungo(bool partitaIva, const QString& valore, int larghezza) {
    return QStringLiteral("%1 %2: più di %3 caratteri")
        .arg(partitaIva ? kPartitaIva : kCodiceFiscale, valore, QString::number(larghezza));
}
QString NazioneAssente(const QString& nazione) {
    return QStringLiteral("nazione %1 assente da NAZIONI").arg(nazione);
}
QString PartitaIvaErrata(const QString& partitaIva, Difetto d) {
    if (d == Difetto::Lunghezza)
        return QStringLiteral("partita IVA italiana %1 non di 11 caratteri").arg(partitaIva);
    return Cifre(kPartitaIva, partitaIva, d);
}
QString ProvinciaAssente(const QString& provincia) {
    return QStringLiteral("provincia %1 assente da PROVINCIE").arg(provincia);
}
QString DataInesistente(const QString& data) {
    return QStringLiteral("data di esenzione %1 inesistente").arg(data);
}

QString CodiceMemorizzato(std::int32_t codice) {
    return QStringLiteral("codice %1 già memorizzato: non sovrascritto").arg(codice);
}
QString CodiceGiaInRiga(std::int32_t codice, qint64 riga) {
    return QStringLiteral("codice %1 già alla riga %2").arg(codice).arg(riga);
}
QString NessunCodiceLibero() {
    return QStringLiteral("nessun codice libero");
}

QString CodiceFiscaleDi(const QString& codiceFiscale, const Detentore& d) {
    return GiaPresente(kCodiceFiscale, false, codiceFiscale, d);
}
QString PartitaIvaDi(const QString& partitaIva, const Detentore& d) {
    return GiaPresente(kPartitaIva, true, partitaIva, d);
}

QString ConRiga(qint64 riga, const QString& motivo) {
    return QStringLiteral("riga %1: %2").arg(QString::number(riga), motivo);
}

bool DiUnaRiga(const QString& testo) {
    static const QRegularExpression kMotivo(QStringLiteral("^riga \\d+: "));
    return kMotivo.match(testo).hasMatch();
}

}  // namespace setup::motivo
