#pragma once

#include <QString>

// The names of the files and folders in the program's data folder, said once: users and their
// scripts know them by these names.
namespace DataFiles {
inline const QString Settings = QStringLiteral("Setting.ini");
inline const QString Sites = QStringLiteral("Url.txt");
inline const QString Templates = QStringLiteral("SL.txt");
inline const QString RankDatabase = QStringLiteral("Sort.mdb");
inline const QString SendLog = QStringLiteral("SendLog.txt");
inline const QString SendReport = QStringLiteral("SendReport.csv");
inline const QString LastPage = QStringLiteral("temp.txt");
// The result-page browser's profile: its cookies keep a verification a person passed.
inline const QString Browser = QStringLiteral("browser");
} // namespace DataFiles
