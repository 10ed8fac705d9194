// Where a database file lives decides its journal (Connessione.cpp): here the kernel is
// asked whether a folder is shared by several computers, and a VFS without shared memory
// keeps any connection there from reading or writing through a write-ahead log.

#include "engine/sqlite/Rete.h"

#include <QFile>

#include <sqlite3.h>

#include <linux/magic.h>
#include <sys/vfs.h>

namespace motore::sqlite {

bool SuFileSystemDiRete(const QString& percorso) {
    // The kernel's own type of the file system that holds the file, symbolic links followed
    // as SQLite follows them. Not GIO's filesystem::remote, a hint for file managers: here a
    // folder wrongly taken for a local disk can damage the database, so FUSE (sshfs, GVfs's
    // shares, but also ntfs-3g) and cluster file systems count as shared too; a local one
    // that is not known to be local only loses the log.
    struct statfs fs {};
    if (::statfs(QFile::encodeName(percorso).constData(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case NFS_SUPER_MAGIC:
        case SMB_SUPER_MAGIC:
        case CIFS_SUPER_MAGIC:
        case SMB2_SUPER_MAGIC:
        case CODA_SUPER_MAGIC:
        case AFS_SUPER_MAGIC:
        case AFS_FS_MAGIC:
        case NCP_SUPER_MAGIC:
        case V9FS_MAGIC:
        case CEPH_SUPER_MAGIC:
        case FUSE_SUPER_MAGIC:
        case OCFS2_SUPER_MAGIC:
        case 0x01161970:  // GFS2
        case 0x786F4256:  // VirtualBox shared folders
            return true;
        default:
            return false;
    }
}

namespace {

// A file of the default VFS behind methods of version 1, which have no shared memory (and
// no memory mapping): SQLite then never opens a write-ahead log on it but in exclusive mode.
struct File {
    sqlite3_file base;
    sqlite3_file* vero;  // the default VFS's file, in the memory that follows this one
};

sqlite3_vfs* Predefinito() {
    static sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    return vfs;
}

// Each method hands the call on to the default VFS's file.
template <auto Metodo>
struct Inoltra;
template <typename... Argomenti, int (*sqlite3_io_methods::*Metodo)(sqlite3_file*, Argomenti...)>
struct Inoltra<Metodo> {
    static int Chiama(sqlite3_file* f, Argomenti... argomenti) {
        sqlite3_file* vero = reinterpret_cast<File*>(f)->vero;
        return (vero->pMethods->*Metodo)(vero, argomenti...);
    }
};

const sqlite3_io_methods kMetodi = [] {
    sqlite3_io_methods m{};
    m.iVersion = 1;
    m.xClose = Inoltra<&sqlite3_io_methods::xClose>::Chiama;
    m.xRead = Inoltra<&sqlite3_io_methods::xRead>::Chiama;
    m.xWrite = Inoltra<&sqlite3_io_methods::xWrite>::Chiama;
    m.xTruncate = Inoltra<&sqlite3_io_methods::xTruncate>::Chiama;
    m.xSync = Inoltra<&sqlite3_io_methods::xSync>::Chiama;
    m.xFileSize = Inoltra<&sqlite3_io_methods::xFileSize>::Chiama;
    m.xLock = Inoltra<&sqlite3_io_methods::xLock>::Chiama;
    m.xUnlock = Inoltra<&sqlite3_io_methods::xUnlock>::Chiama;
    m.xCheckReservedLock = Inoltra<&sqlite3_io_methods::xCheckReservedLock>::Chiama;
    m.xFileControl = Inoltra<&sqlite3_io_methods::xFileControl>::Chiama;
    m.xSectorSize = Inoltra<&sqlite3_io_methods::xSectorSize>::Chiama;
    m.xDeviceCharacteristics = Inoltra<&sqlite3_io_methods::xDeviceCharacteristics>::Chiama;
    return m;
}();

int Apri(sqlite3_vfs*, sqlite3_filename nome, sqlite3_file* f, int flag, int* flagUsciti) {
    auto* file = reinterpret_cast<File*>(f);
    file->vero = reinterpret_cast<sqlite3_file*>(file + 1);
    const int rc = Predefinito()->xOpen(Predefinito(), nome, file->vero, flag, flagUsciti);
    // SQLite closes a file whose open failed only when it has methods.
    file->base.pMethods = file->vero->pMethods ? &kMetodi : nullptr;
    return rc;
}

}  // namespace

const char* VfsSenzaMemoriaCondivisa() {
    static sqlite3_vfs vfs = [] {
        sqlite3_vfs v = *Predefinito();
        v.zName = "anagrafica-senza-memoria-condivisa";
        v.szOsFile = int(sizeof(File)) + Predefinito()->szOsFile;
        v.xOpen = Apri;
        v.pNext = nullptr;
        return v;
    }();
    static const bool registrato = sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
    (void)registrato;
    return vfs.zName;
}

}  // namespace motore::sqlite
