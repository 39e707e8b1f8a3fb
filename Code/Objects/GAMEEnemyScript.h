// Loading and checking the data script "EntityEnemy" before any enemy reads it.
//
// The enemy code looks its nodes up with the data script's stopping getters, so a script is taken only when
// every value they read is present and of its type: each type an array with an "Animations" array holding
// "Running", a "States" array holding the first state ("State", or "default"), "Reactions" and "Actions"
// arrays; every property and action key of the right type ("Velocity" and the like three FLOATs); every state
// and animation named by a key present; every reaction's "Action" naming an action of the type; every word of a
// reaction's conditions a constant the enemy publishes; and, when the flip-book manager runs, every animation's
// flip book loaded. A script that fails is refused with one line naming the script, the entry and the fault.
// A "HitMask" longer than the mask's 7 letters is not refused: the loader keeps the first 7 and says so.
// Main thread only.
#pragma once

#include <string>

class ClDScriptData2;

// True when every name in the tree hashes to the hash stored with it (names are looked up by the hash of their
// text, so a damaged hash hides a present entry); otherwise false with the first bad name in pBadName.
bool KvScriptNamesMatchHashes(const ClDScriptData2* pNode, std::string* pBadName);

namespace EnemyScript {
// True when the tree passes; otherwise false and pError (when given) holds the line.
bool check(const ClDScriptData2* pRoot, std::string* pError);
// Gets "EntityEnemy" from the script manager, checks it and makes it the enemies' script. False, with the line
// printed, when the file cannot be read or is refused; the enemies' script is then null.
bool load();
}  // namespace EnemyScript
