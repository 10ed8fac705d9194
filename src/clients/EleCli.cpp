#include "clients/EleCli.h"

#include "app/Toolkit.h"
#include "ui/Global.h"
#include "ui/Valori.h"

#include <QKeyEvent>
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
    QPalette p = b->palette();
    p.setColor(QPalette::Button, sfondo);
    b->setPalette(p);
    b->setAutoFillBackground(true);
    return b;
}

}  // namespace

EleCli::EleCli(Global& g, QWidget* parent) : QDialog(parent), g_(g) {
    using toolkit::PixelDaTwipX;
    using toolkit::PixelDaTwipY;
    setObjectName(QStringLiteral("EleCli"));
    setWindowTitle(QStringLiteral("ELENCO CLIENTI"));

    Lista1 = new QListWidget(this);
    Lista1->setObjectName(QStringLiteral("Lista1"));
    Lista1->setGeometry(PixelDaTwipX(kMargine), PixelDaTwipY(kMargine), PixelDaTwipX(kListaL),
                        PixelDaTwipY(kListaA));
    // The lines are laid out in columns of blanks, so only a fixed pitch keeps them aligned.
    QFont carattere(QStringLiteral("Courier New"));
    carattere.setPointSizeF(8.25);
    carattere.setStyleHint(QFont::TypeWriter);
    carattere.setFixedPitch(true);
    Lista1->setFont(carattere);
    Lista1->setSelectionMode(QAbstractItemView::SingleSelection);
    Lista1->installEventFilter(this);

    const int yPulsanti = kMargine + kListaA + kMargine;
    const int xPrimo = kMargine + (kListaL - 2 * kPulsanteL - kTraPulsanti) / 2;
    Cmde[0] = Pulsante(this, QStringLiteral("&CONFERMA"), QColor(173, 224, 177), xPrimo, yPulsanti);
    Cmde[1] = Pulsante(this, QStringLiteral("&USCITA"), QColor(228, 180, 180),
                       xPrimo + kPulsanteL + kTraPulsanti, yPulsanti);
    Cmde[0]->setObjectName(QStringLiteral("Cmde0"));
    Cmde[1]->setObjectName(QStringLiteral("Cmde1"));
    Cmde[0]->setDefault(true);

    setTabOrder(Lista1, Cmde[0]);
    setTabOrder(Cmde[0], Cmde[1]);

    setFixedSize(PixelDaTwipX(kMargine + kListaL + kMargine),
                 PixelDaTwipY(yPulsanti + kPulsanteA + kMargine));

    connect(Cmde[0], &QPushButton::clicked, this, &EleCli::Conferma);
    connect(Cmde[1], &QPushButton::clicked, this, &QDialog::reject);
    connect(Lista1, &QListWidget::itemDoubleClicked, this, [this] { Cmde[0]->click(); });
}

void EleCli::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    CentraFinestra(*this);
    Lista1->setFocus(Qt::TabFocusReason);
}

void EleCli::done(int risultato) {
    g_.DialogoAperto = false;
    QDialog::done(risultato);
}

void EleCli::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_F2 && e->modifiers() == Qt::NoModifier) {
        Cmde[1]->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool EleCli::eventFilter(QObject* oggetto, QEvent* e) {
    if (oggetto == Lista1) {
        if (e->type() == QEvent::FocusIn) {
            SelezionaPrima();
        } else if (e->type() == QEvent::KeyPress) {
            const int tasto = static_cast<QKeyEvent*>(e)->key();
            // Enter only moves to CONFERMA, so that picking a line takes a second Enter.
            if (tasto == Qt::Key_Return || tasto == Qt::Key_Enter) {
                Cmde[0]->setFocus(Qt::OtherFocusReason);
                return true;
            }
        }
    }
    return QDialog::eventFilter(oggetto, e);
}

void EleCli::SelezionaPrima() {
    if (Lista1->count() > 0 && Lista1->selectedItems().isEmpty())
        Lista1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
}

void EleCli::Conferma() {
    SelezionaPrima();
    const QList<QListWidgetItem*> scelte = Lista1->selectedItems();
    if (!scelte.isEmpty()) g_.ClientRecord.CliCodice = InteroDa(scelte.front()->text().left(6));
    accept();
}
