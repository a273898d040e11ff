// Private-profile files: text files of "[section]" headers and "key=value" lines, read through a
// cache of up to 32 files (re-read when the file's modification time, to the nanosecond, its
// size or its inode changes) and
// rewritten whole through a hidden temporary file in the same folder that then replaces the
// file, so a failed write (full disk, no permission) never leaves a truncated file behind.
//
// Section and key names match ignoring case; values are kept as written and trimmed of blanks
// and one pair of enclosing quotes only when read. There is no comment syntax.
//
// Threads: every operation holds one process-wide recursive lock for its whole run; between
// processes, advisory locks (shared while reading, exclusive on the temporary file) and the
// atomic rename keep readers from seeing half-written files.
#pragma once

int GetPrivateProfileString(const char* section, const char* key, const char* def, char* out, int outSize,
                            const char* file);
int GetPrivateProfileInt(const char* section, const char* key, int def, const char* file);
int GetPrivateProfileSection(const char* section, char* out, int outSize, const char* file);
int GetPrivateProfileStruct(const char* section, const char* key, void* buffer, int size, const char* file);
// Write operations return 1 when the change is stored (or nothing needed writing) and 0 for bad
// arguments or when the file could not be written; the file on disk is then left unchanged.
int WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file);
int WritePrivateProfileSection(const char* section, const char* strings, const char* file);
int WritePrivateProfileStruct(const char* section, const char* key, const void* buffer, int size, const char* file);
