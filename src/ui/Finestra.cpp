// Placement read and written in twips under the form's section; what was saved is bent back
// onto the screen and off the taskbar before the form is moved there.

#include "ui/Finestra.h"

#include "app/Profilo.h"
#include "app/Valori.h"
#include "ui/Global.h"
#include "ui/Modulo.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kNormale = 0;
constexpr int kMassimizzata = 2;
constexpr int kBordoVariabile = 2;

std::int32_t Intero(const QString& file, const QString& sezione, const char* chiave) {
    return InteroDa(LeggiIniUtente(file, sezione, QString::fromLatin1(chiave)));
}

// Halves to even, as the numbers read from the file.
std::int32_t AlCentro(std::int32_t schermo, std::int32_t lato) {
    return static_cast<std::int32_t>(std::nearbyint((double(schermo) - lato) / 2));
}

void Scrivi(const QString& file, const QString& sezione, const char* chiave, int valore) {
    ScriviIniUtente(file, sezione, QString::fromLatin1(chiave), QString::number(valore));
}

}  // namespace

void RipristinaFinestra(Global& g, Modulo& form, std::int32_t left, std::int32_t top,
                        const QString& suffisso) {
    const QString& file = g.EnvironmentSettings.EnvironmentFile;
    const QString sezione = form.Name() + suffisso;
    const std::int32_t stato = Intero(file, sezione, "WSTATE");
    if (stato == kMassimizzata) {
        form.SetWindowState(kMassimizzata);
        return;
    }

    const toolkit::Schermo schermo = g.MisuraSchermo();
    const bool variabile = form.BorderStyle() == kBordoVariabile;
    std::int32_t w = variabile ? Intero(file, sezione, "DIMX") : 0;
    if (w < 1) w = form.Width();
    w = std::min(w, schermo.Width);
    std::int32_t h = variabile ? Intero(file, sezione, "DIMY") : 0;
    if (h < 1) h = form.Height();
    h = std::min(h, schermo.Height);

    const std::int32_t x0 = left > 0 ? left : Intero(file, sezione, "POSX");
    const std::int32_t y0 = top > 0 ? top : Intero(file, sezione, "POSY");
    std::int32_t x = x0 < 0 ? AlCentro(schermo.Width, w) : x0;
    std::int32_t y = y0 < 0 ? AlCentro(schermo.Height, h) : y0;
    // 0,0 is what a form never placed before reads.
    if (stato == kNormale && x0 == 0 && y0 == 0) {
        x = AlCentro(schermo.Width, w);
        y = AlCentro(schermo.Height, h);
    }

    AltezzaTaskbar(g);
    const std::int32_t sotto = g.TaskbarSide == kTaskbarSotto ? g.TaskbarHeight : 0;
    // Compared without adding: a place saved near the top of the range must not overflow.
    if (y > schermo.Height - sotto - h) y = std::max(0, schermo.Height - h - sotto);
    const std::int32_t destra = g.TaskbarSide == kTaskbarDestra ? g.TaskbarWidth : 0;
    if (x > schermo.Width - destra - w) x = schermo.Width - w - destra;
    if (g.TaskbarSide == kTaskbarSinistra && x < g.TaskbarWidth) x = g.TaskbarWidth;

    form.Move(x, y, w, h);
}

void SalvaFinestra(Global& g, Modulo& form, const QString& suffisso) {
    const QString& file = g.EnvironmentSettings.EnvironmentFile;
    const QString sezione = form.Name() + suffisso;
    // A minimised form would reopen out of sight: it comes back maximised instead.
    const int stato = form.WindowState() == kNormale ? kNormale : kMassimizzata;
    if (stato == kNormale) {
        if (form.BorderStyle() == kBordoVariabile) {
            Scrivi(file, sezione, "DIMX", form.Width());
            Scrivi(file, sezione, "DIMY", form.Height());
        }
        Scrivi(file, sezione, "POSX", form.Left());
        Scrivi(file, sezione, "POSY", form.Top());
    }
    Scrivi(file, sezione, "WSTATE", stato);
}

std::uint8_t AltezzaTaskbar(Global& g) {
    const toolkit::Rettangolo r = g.MisuraTaskbar();
    const toolkit::Schermo schermo = g.MisuraSchermo();
    g.TaskbarTop = r.Top;
    g.TaskbarLeft = r.Left;
    g.TaskbarHeight = (r.Bottom - r.Top) * schermo.TwipsPerPixelY;
    g.TaskbarWidth = (r.Right - r.Left) * schermo.TwipsPerPixelX;
    // A band starting well inside the screen lies along its bottom or right edge; one starting
    // at the corner is told apart by its height.
    if (r.Top >= 2)
        g.TaskbarSide = kTaskbarSotto;
    else if (r.Left >= 2)
        g.TaskbarSide = kTaskbarDestra;
    else
        g.TaskbarSide = g.TaskbarHeight >= schermo.Height / 2.0 ? kTaskbarSinistra : kTaskbarSopra;
    return g.TaskbarSide;
}
