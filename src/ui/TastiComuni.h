#pragma once

// The function keys common to every form (F2 leaves, Ctrl+F5 exports a grid, Ctrl+F8 marks
// the caption), in one place so that no form handles them differently.

class Global;
class QWidget;

// The function keys that behave the same on every form. Returns the key code with which the
// form's own handler goes on; 0 when the key was consumed.
int TastiComuni(Global& g, int codice, int shift, QWidget& form);
