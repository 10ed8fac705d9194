#pragma once

// The layout of the client form, as data: positions and sizes in twips.

namespace campi_cliente {

constexpr int kCampi = 18;
constexpr int kAltezzaCampo = 360;

struct Campo {
    int maxLength;
    int tabOrder;
    bool giallo;  // offers a lookup (F4, double-click)
    int left, top, width;
};

// Index = field number (Txt(0)..Txt(17)).
constexpr Campo kCampi18[kCampi] = {
    {5, 0, true, 1200, 45, 870},        // 0 code
    {16, 1, false, 1200, 450, 2130},    // 1 fiscal code
    {3, 2, true, 3450, 450, 510},       // 2 nation
    {12, 3, false, 3960, 450, 1620},    // 3 VAT number
    {35, 4, false, 1200, 855, 4395},    // 4 company name
    {35, 5, false, 1200, 1210, 4395},   // 5 company name, second line
    {35, 6, false, 1200, 1620, 4395},   // 6 address
    {9, 7, true, 1200, 2025, 1230},     // 7 postal code
    {27, 8, true, 1200, 2430, 4395},    // 8 locality
    {2, 9, true, 1200, 2835, 375},      // 9 province
    {14, 10, false, 3765, 2835, 1830},  // 10 telephone
    {9, 11, false, 1200, 3240, 1245},   // 11 accounting code
    {4, 12, false, 3780, 3240, 510},    // 12 category
    {20, 13, false, 1200, 3645, 2565},  // 13 acronym
    {12, 29, false, 1200, 4050, 1560},  // 14 exemption number
    {2, 31, false, 3420, 4050, 360},    // 15 exemption day
    {2, 33, false, 3780, 4050, 360},    // 16 exemption month
    {4, 34, false, 4140, 4050, 620},    // 17 exemption year
};

// Labels: each stands left of its field, from `daLeft` to the field's left edge.
struct Etichetta {
    const char* controllo;  // "Label1" or "lbNome"
    int indice;
    const char* testo;
    int campo;
    int daLeft;
    bool centrata;
};

constexpr Etichetta kEtichette[] = {
    {"lbNome", 0, "Rag. Sociale", 4, 60, false},   {"lbNome", 1, "Acronimo", 13, 60, false},
    {"Label1", 0, "Codice", 0, 60, false},         {"Label1", 1, "Cod. Contabile", 11, 60, false},
    {"Label1", 2, "C.Fisc./P.I.", 1, 60, false},   {"Label1", 3, "-", 2, 3330, true},
    {"Label1", 4, "Indirizzo", 6, 60, false},      {"Label1", 5, "CAP-ZIP", 7, 60, false},
    {"Label1", 6, "Esenzione: n.", 14, 60, false}, {"Label1", 7, "Provincia", 9, 60, false},
    {"Label1", 8, "del ", 15, 2760, false},        {"Label1", 9, "Categoria", 12, 2445, false},
    {"Label1", 10, "Telefono", 10, 1575, false},   {"Label1", 11, "Localita'", 8, 60, false},
};

struct Pulsante {
    const char* testo;
    int rosso, verde, blu;
    int tabOrder;
    int left;
};

constexpr int kTopPulsanti = 4500;
constexpr int kAltezzaPulsante = 375;
constexpr int kLarghezzaPulsante = 1365;

// Index = button number (CmdI(0)..CmdI(3)).
constexpr Pulsante kPulsanti[4] = {
    {"&CONFERMA", 173, 224, 177, 14, 135},
    {"&USCITA", 228, 180, 180, 17, 4185},
    {"&ELIMINA", 255, 219, 145, 16, 2835},
    {"&ANNULLA", 248, 248, 192, 15, 1485},
};

constexpr int kLarghezzaForm = 5685;
constexpr int kAltezzaForm = 5010;

}  // namespace campi_cliente
