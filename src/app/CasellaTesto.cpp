// The text box's length limit and single line, applied to the operator's edits only. Every
// way text comes in from the operator (keys, input method, paste by menu, key or middle
// button, drop) runs marked, so the validator can cut it to the room left and leave the
// program's own text whole.

#include "app/CasellaTesto.h"

#include <QKeyEvent>
#include <QValidator>

#include <algorithm>

namespace {

bool Controllo(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

// A field is one line: in what the operator pastes from a row of cells or a paragraph, each
// run of tabs and line breaks is one blank, and none where the field begins or ends.
QString InUnaRiga(QStringView s, bool testoPrima, bool testoDopo) {
    QString riga;
    riga.reserve(s.size());
    bool spazio = false;
    for (const QChar c : s) {
        if (Controllo(c)) {
            spazio = !riga.isEmpty() || testoPrima;
            continue;
        }
        if (spazio) riga += u' ';
        spazio = false;
        riga += c;
    }
    if (spazio && testoDopo) riga += u' ';
    return riga;
}

// Cuts what the operator inserts to the room the maximum length leaves, as a text box with
// a length limit does: a replaced selection goes, and of the new text what fits comes in.
class LimiteLunghezza : public QValidator {
  public:
    explicit LimiteLunghezza(CasellaTesto& casella) : QValidator(&casella), casella_(casella) {}

    State validate(QString& testo, int& cursore) const override {
        const int massimo = casella_.MaxLength();
        if (!casella_.DallOperatore() ||
            (testo.size() <= massimo && std::none_of(testo.begin(), testo.end(), Controllo)))
            return Acceptable;
        const QString& prima = casella_.TestoPrecedente();
        // The text after the cursor is what the edit left alone; the rest of the unchanged
        // part stands before the insertion.
        qsizetype dopo = std::min<qsizetype>(testo.size() - cursore, prima.size());
        while (dopo > 0 && testo.right(dopo) != prima.right(dopo)) --dopo;
        qsizetype davanti = 0;
        const qsizetype limite = std::min(testo.size(), prima.size()) - dopo;
        while (davanti < limite && testo[davanti] == prima[davanti]) ++davanti;
        const qsizetype tolti = prima.size() - davanti - dopo;
        qsizetype posto = std::max<qsizetype>(0, massimo - (prima.size() - tolti));
        const QString inseriti = InUnaRiga(
            QStringView(testo).mid(davanti, testo.size() - davanti - dopo), davanti > 0, dopo > 0);
        // A character of two UTF-16 units comes in whole or not at all.
        if (posto > 0 && posto < inseriti.size() && inseriti[posto - 1].isHighSurrogate()) --posto;
        posto = std::min(posto, inseriti.size());
        const QString risultato = prima.left(davanti) + inseriti.left(posto) + prima.right(dopo);
        // Nothing fits and nothing goes: the key is refused, the text does not change.
        if (risultato == prima) return Invalid;
        testo = risultato;
        cursore = int(davanti + posto);
        return Acceptable;
    }

  private:
    CasellaTesto& casella_;
};

}  // namespace

CasellaTesto::CasellaTesto(QWidget* parent) : QLineEdit(parent) {
    setValidator(new LimiteLunghezza(*this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) { precedente_ = t; });
}

void CasellaTesto::keyPressEvent(QKeyEvent* e) {
    // An Alt combination is an access key, whether a button has it or not (a hidden one
    // does not): its letter never goes into the box.
    if ((e->modifiers() & Qt::AltModifier) && !e->text().isEmpty() && e->text().front().isPrint()) {
        e->ignore();
        return;
    }
    // Undo and redo bring back texts the box held before, whatever their length.
    if (e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo))
        QLineEdit::keyPressEvent(e);
    else
        DaOperatore([&] { QLineEdit::keyPressEvent(e); });
}

void CasellaTesto::inputMethodEvent(QInputMethodEvent* e) {
    DaOperatore([&] { QLineEdit::inputMethodEvent(e); });
}

void CasellaTesto::mouseReleaseEvent(QMouseEvent* e) {
    DaOperatore([&] { QLineEdit::mouseReleaseEvent(e); });
}

void CasellaTesto::dropEvent(QDropEvent* e) {
    DaOperatore([&] { QLineEdit::dropEvent(e); });
}

void CasellaTesto::contextMenuEvent(QContextMenuEvent* e) {
    DaOperatore([&] { QLineEdit::contextMenuEvent(e); });
}
