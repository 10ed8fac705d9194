#pragma once

// Windows-1252, the 8-bit code page of the office's language, in which its files travel.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// A character the code page lacks becomes "?".
QByteArray Cp1252(QStringView testo);

// The five bytes the code page leaves unused come through as the control characters of the
// same number, as Windows itself reads them.
QString DaCp1252(QByteArrayView testo);
