#pragma once

#include <QWidget>

#include <cstdint>

class Global;

// The client form: the program's start-up form and its only main window.
class GesCliC : public QWidget {
    Q_OBJECT

  public:
    explicit GesCliC(Global& g, QWidget* parent = nullptr);

    // Start-up in two steps; each returns false when the program must end without
    // showing the form.
    bool Form_Initialize(const QString& rigaDiComando, const QString& cartellaProgramma,
                         const QString& cartellaSistema);
    bool Form_Load();

    std::uint8_t ModoMaschera = 0;
    std::int32_t StartClientCode = 0;
    bool InCaricamento = false;

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void Form_Unload();

    Global& g_;
    bool scaricato_ = false;
};
