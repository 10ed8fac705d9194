#pragma once

#include <QLineEdit>

// A text box whose maximum length limits only what the operator types: the program may
// show a longer stored value whole, and the operator can still shorten it.
class CasellaTesto : public QLineEdit {
    Q_OBJECT

  public:
    explicit CasellaTesto(QWidget* parent = nullptr);

    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n) { maxLength_ = n; }

    // Length of the text before the edit under validation.
    int LunghezzaPrecedente() const { return lunghezza_; }

  private:
    int maxLength_ = 32767;
    int lunghezza_ = 0;
};
