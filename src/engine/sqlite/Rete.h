#pragma once

// What a database file on a network folder needs: telling such a folder from a local disk,
// and a way of opening the file that never gives SQLite shared memory, so that a connection
// there can never read or write through a write-ahead log.

#include <QString>

namespace motore::sqlite {

// Whether the file lives on a file system that more than one computer reaches: NFS, SMB and
// CIFS, the other network file systems, FUSE mounts and cluster file systems.
bool SuFileSystemDiRete(const QString& percorso);

// The name of an SQLite VFS that is the default one without shared memory: a database in
// write-ahead-log mode fails to open on it (SQLITE_CANTOPEN), unless the connection holds
// the file alone (locking_mode EXCLUSIVE). Registered on the first call.
const char* VfsSenzaMemoriaCondivisa();

}  // namespace motore::sqlite
