#include "app/CasellaTesto.h"

#include <QValidator>

namespace {

class LimiteLunghezza : public QValidator {
  public:
    explicit LimiteLunghezza(CasellaTesto& casella) : QValidator(&casella), casella_(casella) {}

    State validate(QString& testo, int&) const override {
        const bool cresce = testo.size() > casella_.LunghezzaPrecedente();
        return (cresce && testo.size() > casella_.MaxLength()) ? Invalid : Acceptable;
    }

  private:
    CasellaTesto& casella_;
};

}  // namespace

CasellaTesto::CasellaTesto(QWidget* parent) : QLineEdit(parent) {
    setValidator(new LimiteLunghezza(*this));
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& t) { lunghezza_ = int(t.size()); });
}
