#pragma once

#include "renaming/Journal.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

// What the run and the recovery of the renaming library share; not for its users.
namespace renaming::internal {

inline const QByteArray kTempPrefix = QByteArrayLiteral(".tessaline-");
inline const QByteArray kJournalSuffix = QByteArrayLiteral(".journal");

QString errorText(int error);

// The hidden name of the nth file of a run in a folder.
QByteArray tempName(const QByteArray& folder, const QByteArray& runId, qsizetype n);

// An absolute path without empty, "." or ".." parts: what a run writes into its records.
bool cleanPath(const QByteArray& path);

// The folders with the file systems they are on now.
QList<RecordedFolder> recordedFolders(const QList<QByteArray>& folders);

// The folder most of the paths are in (the first of those where several are as frequent).
QByteArray commonFolder(const QList<QByteArray>& paths);

// The names in a folder exactly as stored: where the file system ignores case, a lookup of
// a.jpg finds A.JPG too, the listing does not.
QSet<QByteArray> listNames(const QByteArray& folder);

QList<QByteArray> foldersOf(const QList<Entry>& entries);
void syncFolders(const QList<Entry>& entries);

// The whole file from its start.
QByteArray readAll(int fd);

// What went wrong, for a message: the first few failures and how many more there were (the
// message lists where each file is anyway).
QString failuresText(const QStringList& failures);

} // namespace renaming::internal
