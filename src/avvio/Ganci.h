#pragma once

class Global;

// Gives the layers below the forms what they open without naming it: the shared keys reach
// the localities form and the grid export through the hooks installed here.
void InstallaGanci(Global& g);
