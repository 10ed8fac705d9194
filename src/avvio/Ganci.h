#pragma once

// Gives the layers below the forms what they open without naming it: the shared keys reach
// the localities form and the grid export through the hooks installed here, at start-up.

class Global;

void InstallaGanci(Global& g);
