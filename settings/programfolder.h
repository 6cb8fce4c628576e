#pragma once
#include <QString>

// The program folder: the folder that holds the executable, without a trailing slash except at
// the root. Paths below it are formed by appending a relative name that starts with "/" as plain
// text, with nothing normalised.
QString programFolder();

// Tests point the program at a folder of their own.
void setProgramFolderForTesting(const QString &folder);
