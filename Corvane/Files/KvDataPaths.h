// Where the data lives: the data root under which every archive and loose data file is looked for, its UTF-16
// twin, the user folder under which the save folder is made, and the language folder.
//
// The values below are the start-up values; KvInitializeDataPaths sets them again at the start of the game's
// first start-up stage, before file I/O and archives. The data root is relative ("./"), so the program runs
// with the data root as its current folder. Loaders build full paths as data root + path with "\" separators;
// the archive reader skips the root again (KvSkipDataRoot) and hashes what is left, so an entry's name in
// an archive is its path below the root, e.g. "Lang\eng\Strings\Win32.lang".
//
// Main thread only: the paths are written during start-up and read afterwards without a lock.
#pragma once

#include "Corvane/System/KvTypes.h"

// The data root: "./".
extern char g_szBaseDataPath[KV_MAX_PATH_LEN];
// The data root in UTF-16, copied unit by unit from the narrow one.
extern wchar16 g_wszBaseDataPath[KV_MAX_PATH_LEN];
// The user folder (".\" until the platform's place is set), set together with its flag.
extern wchar16 g_wszUserFolder[KV_MAX_PATH_LEN];
extern bool g_bUserFolderSet;
// The language folder: ".\Lang\" until the language is chosen, then data root + "Lang\" + code + "\".
extern char g_szLanguagePath[KV_MAX_PATH_LEN];
// The chosen language (0 until chosen).
extern i32 g_iLanguageIndex;

// Sets the data root to "./", its UTF-16 twin to the same, and the user folder to ".\" (marked set).
void KvInitializeDataPaths();
// The platform's place for the user folder replaces ".\" (marked set): the folder the store keeps the player's
// data in, so that nothing of the player's is made in the data root. At most KV_MAX_PATH_LEN - 1 units.
void KvSetUserFolder(const wchar16* pFolder);
// The data root that loaders put in front of their paths.
const char* KvGetBaseDataPath();

// Turns every "/" of a UTF-16 path into "\", in place.
void KvWideSlashesToBackslashes(wchar16* pWidePath);
// Cuts the data root off a path, in place: the root with "/" turned into "\" (".\" for "./") is searched for
// anywhere in the path, and the path becomes the text after its first occurrence; a path that does not
// contain it is left as it is (so "./Text\A.txt" stays whole, and "Mods\.\A.txt" becomes "A.txt").
void KvStripDataRoot(char* pPath);
// Where KvStripDataRoot's result begins inside the path, without copying it: past the root when the path starts
// with it (the usual case, a compare of the root's length), else past the root's first occurrence, else the whole
// path.
const char* KvSkipDataRoot(const char* pPath);
