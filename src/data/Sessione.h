#pragma once

// What one run of the program holds of its data: the settings read at start-up, the open
// databases, the Clienti table open for the whole run and the one client record. The data
// layer works on this and on nothing of the forms; Global holds it for them.

#include "data/ClientRecord.h"
#include "engine/Motore.h"

#include <QColor>
#include <QString>

#include <memory>

struct EnvironmentSettings {
    QString Mode;             // "E" export, anything else import
    QString EnvironmentFile;  // full path of the environment file found
    QColor HighlightColour;   // background of the fields that offer a lookup
    QString RootDirectory;    // always ends with "/"
    QString TempDirectory;
    QString CompanyCode;
    QString Server;  // [BASE] SERVER: the database server; empty for files
    // [CONTROLLI] CIFRE: the check characters of fiscal codes and VAT numbers count unless
    // it is 0, for an office whose old data must go in as they are.
    bool ControlloCifre = true;
    QString CompanyDatabasePath;
    QString CodeTablesDatabasePath;
    std::unique_ptr<motore::Workspace> Workspace;
    std::unique_ptr<motore::Database> CompanyDatabase;
    std::unique_ptr<motore::Database> CodeTablesDatabase;
    bool CompanyDatabaseOpen = false;
};

struct Sessione {
    ::EnvironmentSettings EnvironmentSettings;

    ::ClientRecord ClientRecord;
    std::unique_ptr<motore::Recordset> ClientsTable;
    bool ClientsTableOpen = false;
};
