#pragma once

class Global;
class QWidget;

// The function keys that behave the same on every form. Returns the key code with which the
// form's own handler goes on; 0 when the key was consumed.
int TastiComuni(Global& g, int codice, int shift, QWidget& form);
