#pragma once

// Where each form opens: the size and place the operator left it in, kept in the environment
// file under a section named after the form (in the login's own file when the environment
// file is the administrator's), clear of the taskbar and never wider or taller than the
// screen.

#include <QString>

#include <cstdint>

class Global;
class Modulo;

// Puts the form back as it was last closed, or centred the first time. A `left` or `top`
// above 0 wins over the saved one. Reads the screen and the taskbar through g.
void RipristinaFinestra(Global& g, Modulo& form, std::int32_t left, std::int32_t top,
                        const QString& suffisso);

// Keeps the form's state, and in normal state its place (and its size, when sizable).
void SalvaFinestra(Global& g, Modulo& form, const QString& suffisso);

// The taskbar's side, as TaskbarSide numbers it.
inline constexpr std::uint8_t kTaskbarSotto = 0;
inline constexpr std::uint8_t kTaskbarDestra = 1;
inline constexpr std::uint8_t kTaskbarSopra = 2;  // also when there is none
inline constexpr std::uint8_t kTaskbarSinistra = 3;

// Measures the taskbar into g's Taskbar slots and returns its side.
std::uint8_t AltezzaTaskbar(Global& g);
