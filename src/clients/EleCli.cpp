// The similar-clients dialog: its list, its keys and the client picked.

#include "clients/EleCli.h"

#include "app/Toolkit.h"
#include "app/Valori.h"
#include "ui/Global.h"
#include "ui/Tasti.h"

#include <QListWidget>
#include <QPushButton>

namespace {

constexpr int kMargine = 120;  // twips
constexpr int kListaL = 9000;
constexpr int kListaA = 4050;
constexpr int kPulsanteL = 1860;
constexpr int kPulsanteA = 375;
constexpr int kTraPulsanti = 240;

QPushButton* Pulsante(QWidget* padre, const QString& testo, const QColor& sfondo, int x, int y) {
    using toolkit::PixelDaTwipX;
    using toolkit::PixelDaTwipY;
    auto* b = new QPushButton(testo, padre);
    b->setGeometry(PixelDaTwipX(x), PixelDaTwipY(y), PixelDaTwipX(kPulsanteL),
                   PixelDaTwipY(kPulsanteA));
    toolkit::ColoraPulsante(*b, sfondo);
    return b;
}

}  // namespace

EleCli::EleCli(Global& g, QWidget* parent) : Modulo(g, parent) {
    using toolkit::PixelDaTwipX;
    using toolkit::PixelDaTwipY;
    setObjectName(QStringLiteral("EleCli"));
    setWindowFlags(Qt::Dialog);
    SetCaption(QStringLiteral("ELENCO CLIENTI"));
    SetBorderStyle(3);

    Lista1 = new QListWidget(this);
    Lista1->setGeometry(PixelDaTwipX(kMargine), PixelDaTwipY(kMargine), PixelDaTwipX(kListaL),
                        PixelDaTwipY(kListaA));
    // The lines are laid out in columns of blanks, so only a fixed pitch keeps them aligned.
    QFont carattere(QStringLiteral("Courier New"));
    carattere.setPointSizeF(8.25);
    carattere.setStyleHint(QFont::TypeWriter);
    carattere.setFixedPitch(true);
    Lista1->setFont(carattere);
    Lista1->setSelectionMode(QAbstractItemView::SingleSelection);
    Eventi& lista = Su(Lista1, QStringLiteral("Lista1"));
    lista.GotFocus = [this] { SelezionaPrima(); };
    lista.DblClick = [this] { Cmde[0]->click(); };

    const int yPulsanti = kMargine + kListaA + kMargine;
    const int xPrimo = kMargine + (kListaL - 2 * kPulsanteL - kTraPulsanti) / 2;
    Cmde[0] = Pulsante(this, QStringLiteral("&CONFERMA"), QColor(173, 224, 177), xPrimo, yPulsanti);
    Cmde[1] = Pulsante(this, QStringLiteral("&USCITA"), QColor(228, 180, 180),
                       xPrimo + kPulsanteL + kTraPulsanti, yPulsanti);
    Su(Cmde[0], QStringLiteral("Cmde"), 0).Click = [this] { Conferma(); };
    Su(Cmde[1], QStringLiteral("Cmde"), 1).Click = [this] { Scarica(); };

    setTabOrder(Lista1, Cmde[0]);
    setTabOrder(Cmde[0], Cmde[1]);

    setFixedSize(PixelDaTwipX(kMargine + kListaL + kMargine),
                 PixelDaTwipY(yPulsanti + kPulsanteA + kMargine));
}

void EleCli::Form_Load() {
    Confermato = false;
    CentraFinestra();
}

void EleCli::showEvent(QShowEvent* e) {
    Lista1->setFocus(Qt::TabFocusReason);
    Modulo::showEvent(e);
}

void EleCli::Form_Unload() {
    g_.DialogoAperto = false;
}

void EleCli::Form_KeyDown(int& codice, int) {
    // Enter only moves to CONFERMA, so that picking a line takes a second Enter.
    if (codice == kTastoInvio && focusWidget() == Lista1) {
        Cmde[0]->setFocus(Qt::OtherFocusReason);
        codice = 0;
    } else if (codice == kTastoEsc) {
        Cmde[1]->click();
        codice = 0;
    }
}

void EleCli::SelezionaPrima() {
    if (Lista1->count() > 0 && Lista1->selectedItems().isEmpty())
        Lista1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
}

void EleCli::Conferma() {
    SelezionaPrima();
    const QList<QListWidgetItem*> scelte = Lista1->selectedItems();
    if (!scelte.isEmpty()) g_.ClientRecord.CliCodice = InteroDa(scelte.front()->text().left(6));
    Confermato = true;
    Scarica();
}
