#pragma once

#include <QString>

// The folder of the data files ("Setting.ini", "Url.txt", "SL.txt", "Sort.mdb", ...) when the
// user names none: dataFolderFor the executable's folder.
QString defaultDataFolder();

// A copy that runs from where it was built or unpacked keeps its files beside it. An installed
// copy (its desktop entry in ../share/applications) or one in a folder it may not write uses
// userDataFolder(), so that every user of the machine has files of their own, root included.
QString dataFolderFor(const QString& programFolder, bool programFolderWritable);

// Whether this process may create files in folder. As root that is every folder on a file
// system mounted read-write, which is why dataFolderFor also asks whether the copy is installed.
bool isWritableFolder(const QString& folder);

// $XDG_DATA_HOME/moting-seo, by default ~/.local/share/moting-seo, made if missing; AppError
// when it cannot be.
QString userDataFolder();
