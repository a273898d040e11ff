// Opening the files that users, hosts and other programs name: the settings and log files, a
// host's saved state and action files, the interface's resources and images, the bank files.
//
// Any of them may turn out to be a FIFO (whose open waits for a writer, for ever), a device
// (/dev/zero never ends), a socket or a folder. Every open here passes O_NONBLOCK, so it returns
// at once whatever the path names, and anything but a regular file is refused before a byte is
// read. Reads stop at a cap the caller gives, so a huge or growing file costs at most that much.
// A refusal says in words what was found (UTIL_FileCheck::why), for the caller's log line.
//
// Stateless; any thread.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class UTIL_FileStatus {
  ok,
  missing,     // nothing at the path (or a folder on the way is missing)
  failed,      // the open or a read failed (errno kept)
  notRegular,  // a folder, FIFO, device or socket
  tooSmall,    // fewer bytes than the caller's minimum
  tooLarge,    // more bytes than the caller's cap
  notWritable, // a file this process may read but not write (errno kept)
  readOnly,    // a file its owner may not write: the user's own guard, kept even for root
};

// What an open found. why() words a refusal: "is a named pipe (FIFO), not a file", "holds
// 5000000 bytes, more than the 65536 allowed", "cannot be opened: Permission denied".
struct UTIL_FileCheck {
  UTIL_FileStatus status = UTIL_FileStatus::failed;
  mode_t type = 0;    // the file type bits found (S_IFMT part of st_mode), 0 when not opened
  int64_t size = 0;   // the size found
  int64_t limit = 0;  // the bound that refused it (tooSmall, tooLarge)
  int error = 0;      // errno of a failed open or read
  mode_t mode = 0;    // the permission bits found (07777 part of st_mode), 0 when not looked at
  uid_t owner = 0;    // the owner and group found, with mode
  gid_t group = 0;
  bool ok() const { return status == UTIL_FileStatus::ok; }
  std::string why() const;
};

constexpr int64_t UTIL_kNoFileLimit = INT64_MAX;

// Opens path for reading (relative paths from folderFd) without waiting, and answers its
// descriptor when it is a regular file of minBytes to maxBytes bytes; otherwise -1 with *check
// saying why (nothing stays open). The caller closes the descriptor.
int UTIL_OpenFileForRead(const std::string& path, UTIL_FileCheck* check, int64_t maxBytes = UTIL_kNoFileLimit,
                         int64_t minBytes = 0, int folderFd = AT_FDCWD);
// The mode asked for a file made anew; open(2) takes the user's umask off it, as for any program.
constexpr mode_t UTIL_kNewFileMode = 0666;

// Opens path for writing with flags (O_WRONLY and O_APPEND, O_CREAT, O_TRUNC as wanted; mode for
// a new file) without waiting, and answers the descriptor when it is a regular file, else -1 with
// *check saying why. What UTIL_CheckSave refuses is refused before it is opened; O_TRUNC is
// applied only once the file is known to be regular.
int UTIL_OpenFileForWrite(const std::string& path, int flags, UTIL_FileCheck* check, mode_t mode = UTIL_kNewFileMode);
// mkstemp(3), but the file is made with mode under the umask as open(2) makes one (mkstemp makes
// 0600 whatever the umask). The trailing "XXXXXX" of name is replaced; -1 with errno on failure.
int UTIL_MakeTemporary(std::string& name, mode_t mode = UTIL_kNewFileMode);
// Reads into data until size bytes or the end of the file; *got is the count read. False on a
// read error (EINTR is retried).
bool UTIL_ReadFully(int fd, void* data, size_t size, size_t* got);
// Writes all size bytes (EINTR retried); false on an error.
bool UTIL_WriteFully(int fd, const void* data, size_t size);

// Reads the whole file at path into out (cleared on any refusal): a regular file of at most
// maxBytes. A file that shrinks while it is read gives what was there; one that grows is read up
// to the size it had when it was opened.
UTIL_FileCheck UTIL_ReadFile(const std::string& path, std::string& out, int64_t maxBytes);
UTIL_FileCheck UTIL_ReadFile(const std::string& path, std::vector<uint8_t>& out, int64_t maxBytes);
// The one rule of every save of the user's files: a save writes over nothing but a regular file
// (itself or at the end of its links) that this process may read and write, and makes a file only
// where nothing is. Answers ok for such a file (mode set), missing where a new file may be made,
// and otherwise why not: notRegular, failed (it cannot be read: a save would lose what it holds
// unseen), readOnly (its owner may not write it: a file the user made read-only stays so, whoever
// saves) or notWritable. A device is never opened.
UTIL_FileCheck UTIL_CheckSave(const std::string& path);
// The system's own reason in a refusal worded by the functions here, short enough for a status
// line: "Permission denied", "Read-only file system", "No space left on device", "is a folder,
// not a file".
std::string UTIL_ShortReason(const std::string& why);
// What is at path, found without opening it (a device is never opened): ok for a regular file,
// missing, notRegular (a folder, FIFO, device, socket, or a symbolic link to nothing), or failed
// (a link loop, no permission: error says which).
UTIL_FileCheck UTIL_StatFile(const std::string& path);
// Replaces the file at path with size bytes, or makes it, so that a crash or a full disk at any
// moment leaves either the old file whole or the new one: a temporary file of its own beside it,
// synced, renamed over path, and the folder synced. A path that is a symbolic link is written
// through: the file it names (made when missing) is replaced, the link stays. The path is resolved
// once and its folder opened once: every step (the check, the temporary, the rename, the clean-up)
// works inside that folder, so a folder swapped for a link meanwhile receives nothing, and nothing
// is left behind on a failure. A replaced file keeps its owner, group and permissions (set-user
// and set-group bits dropped: a save by root never gives anyone else's file its powers), a new one
// takes newMode under the umask. The user's own file in a group the user is not in keeps its owner
// and loses its group's and others' permissions (it lands in the user's group): true then with
// *why saying so, for the caller's log; otherwise *why is emptied. What UTIL_CheckSave refuses is
// left as it was, and so is another user's file whose owner the new one cannot be given. False
// with *why worded on a failure (what was at the path then stays as it was).
bool UTIL_ReplaceFile(const std::string& path, const void* data, size_t size, std::string* why,
                      mode_t newMode = UTIL_kNewFileMode);
// Writes size bytes into a new file of its own named from pattern (its trailing "XXXXXX" replaced,
// made with O_EXCL), synced and closed, and answers its name; empty with *why worded on a failure
// (nothing is left behind). replaced: what UTIL_CheckSave found at the file it is to replace, whose
// owner, group and permissions it takes as UTIL_ReplaceFile says (*why then holds what could not be
// kept, else it is emptied); null for a new file, made with newMode under the umask.
std::string UTIL_WriteTemporary(std::string pattern, const void* data, size_t size, const UTIL_FileCheck* replaced,
                                mode_t newMode, std::string* why);
// A save's folder, opened once: the file's path resolved once (its links followed, then its
// folder's), and the folder opened without following a link. Every later step of a save works by
// name inside fd (the *At calls, renameat, unlinkat), so a folder swapped for a link meanwhile
// receives nothing. Closed with the object.
struct UTIL_SaveFolder {
  int fd = -1;
  std::string given;  // the folder part of the path as given ("" or ending in '/'), for names answered
  std::string leaf;   // the file's name in it
  UTIL_SaveFolder() = default;
  UTIL_SaveFolder(const UTIL_SaveFolder&) = delete;
  UTIL_SaveFolder& operator=(const UTIL_SaveFolder&) = delete;
  ~UTIL_SaveFolder();
  std::string full(const std::string& name) const { return given + name; }
};
// Opens the folder of the file at path (through the links at path when follow is set: the file
// they name is the one saved); false with errno.
bool UTIL_OpenSaveFolder(const std::string& path, bool follow, UTIL_SaveFolder* folder);
// UTIL_CheckSave for the file named leaf in an open save's folder; a link found there is not followed.
UTIL_FileCheck UTIL_CheckSaveAt(int folderFd, const std::string& leaf);
// UTIL_WriteTemporary inside an open save's folder: name is the pattern, then the name made; file
// names the replaced file in a refusal's words.
bool UTIL_WriteTemporaryAt(int folderFd, std::string& name, const void* data, size_t size, const UTIL_FileCheck* replaced,
                           mode_t newMode, const std::string& file, std::string* why);
// Makes a rename inside an open folder reach the disk (best effort).
void UTIL_SyncFolder(int folderFd);
// Makes a rename into the folder of path reach the disk (best effort: some file systems refuse).
void UTIL_SyncFolderOf(const std::string& path);
// The n-th of a series of names that replace nothing: path itself for 1, then path-2, path-3 ...
std::string UTIL_NumberedName(const std::string& path, int n);
// Writes size bytes as a new file, never replacing anything: at the first free name of the series
// of path (up to path-999), made as UTIL_ReplaceFile makes one, in path's folder opened once (a link
// at path is a name taken). Answers the name written, or empty with *why worded.
std::string UTIL_WriteNewFile(const std::string& path, const void* data, size_t size, std::string* why,
                              mode_t newMode = UTIL_kNewFileMode);
// The file a path names: path itself, or, while it is a symbolic link, what the link names (a
// relative target taken from the link's folder), which may not exist. Empty when the links loop.
std::string UTIL_LinkedFile(const std::string& path);
// rename(2) that never replaces: -1 with errno EEXIST when `to` exists. Where the file system
// cannot refuse in the rename itself, the file is linked to its new name and the old name removed.
int UTIL_RenameNoReplace(const std::string& from, const std::string& to);

// Names a refused file on standard error: line and a line end, the first time this process says
// that line. A file refused again (by a reload, another editor in the process, a second reader of
// the same load) is not named again. Any thread.
void UTIL_SayRefusal(const std::string& line);

// A stdio stream on a regular file, for readers that want one (the PNG decoder); null with
// *check saying why. The caller fcloses it.
FILE* UTIL_FOpenForRead(const std::string& path, UTIL_FileCheck* check, int64_t maxBytes = UTIL_kNoFileLimit);
