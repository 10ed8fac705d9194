#pragma once

// The question every form asks when a table cannot be opened: the engine's error with Retry
// and Cancel, under the caller's title.

#include "data/Esito.h"

#include <functional>

class Global;

// True when the operator chose Retry. The pending field error survives the box.
std::function<bool(const Causa&)> RiprovaApertura(Global& g, const QString& titolo);
