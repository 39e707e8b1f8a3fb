// Builds "EntityEnemy" text for the enemy tests: each type gets the same test actions, and each action X is chosen
// while the enemy is in the state X (a reaction "State == 'X'"), so a test picks an action with setState.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct STestEnemyType {
  std::string m_name;
  std::string m_properties;  // extra keys of the type, one a line
};

// The test actions: name and keys.
inline std::vector<std::pair<std::string, std::string>> KvTestEnemyActions() {
  return {
      {"Idle", ""},
      {"Damage5", "Damage = 5.0"},
      {"Damage2", "Damage = 2.0"},
      {"Damage1Score", "Damage = 1.0\nScore = 40"},
      {"Damage1Text", "Damage = 1.0\nText = \"custom*\""},
      {"Kill", "Damage = 100.0"},
      {"FourCues", "Sound = \"CueA\"\nSound2 = \"CueB\"\nDamage = 1.0"},
      {"Sounds", "Sound = \"CueC\"\nSound2 = \"CueD\""},
      {"NextFrame", "IncrementFrame = 1"},
      {"Lane", "ChangeLane = 1"},
      {"Disarm", "SpawnPistolDisarmedWeapon = 1"},
      {"Shield", "ShieldDamage = 10.0"},
      {"Support", "SpawnPickup = 2"},
      {"Weapon", "SpawnPickup = 1"},
      {"Flame", "SpawnFlamerProjectile = 1"},
      {"Boom", "Explode = 1"},
      {"Grenade", "GrenadeExplode = 1"},
      {"Aim", "ToPlayerTarget = 0.5"},
      {"Gone", "Remove = 1"},
      {"Go", "State = \"Idle\""},
  };
}

inline std::string KvTestEnemyTypeText(const STestEnemyType& type) {
  const auto actions = KvTestEnemyActions();
  std::string text = type.m_name + " = {\n" + type.m_properties + "\n";
  text += "Animations = { Running = \"TestRun\", Fall = [\"TestFall\", Mirror = 1] }\n";
  text += "States = {\n default = {}\n Plain = { Velocity = [0.0, 0.0, 0.0] }\n Aiming = { ToPlayerTarget = 0.5 }\n";
  text += " Counter = {}\n CounterBullet = {}\n";
  for (const auto& [name, keys] : actions) {
    text += " " + name + " = {}\n";
  }
  text += "}\nReactions = [ \"root\"\n";
  for (const auto& [name, keys] : actions) {
    text += " [ \"State == '" + name + "'\", Action = \"" + name + "\" ]\n";
  }
  text += "]\nActions = {\n";
  for (const auto& [name, keys] : actions) {
    text += " " + name + " = {\n" + keys + "\n }\n";
  }
  text += "}\n}\n";
  return text;
}

inline std::string KvTestEnemyScript(const std::vector<STestEnemyType>& types) {
  std::string text;
  for (const STestEnemyType& type : types) {
    text += KvTestEnemyTypeText(type);
  }
  return text;
}

// The types the tests use: names the rules single out, plus a plain walker.
inline std::vector<STestEnemyType> KvTestEnemyTypes() {
  return {
      {"Walker", "HitPoints = 3.0\nScore = 90"},
      {"EnemyFlankerB", "HitPoints = 2.0"},
      {"EnemyWall", "HitPoints = 2.0\nHitMask = \"H\""},
      {"EnemyBarrel", ""},
      {"EnemyPugilist", ""},
      {"EnemyLeader", ""},
      {"EnemyMachete", ""},
      {"EnemyStomper", ""},
      {"EnemyFlamer", "Rotate = 1"},
      {"Shielded", "Shield = 5.0"},
      {"Crate", ""},
      {"Lefty", "TargetVelocity = [50.0, 0.0, 0.0]\nVelocity = [50.0, 0.0, 0.0]"},
      {"EnemyBulletShield", "CanHitPlayer = 0"},
      {"EnemyPistolDisarmedWeapon", ""},
      {"EnemyBulletPistolDisarmedWeapon", "EnemyHitType = \"B\""},
      {"EnemyPistolBullet", "EnemyHitType = \"B\"\nCanHitPlayer = 0"},
      {"Rocket", "EnemyHitType = \"B\"\nCanHitPlayer = 0"},
      {"PlayerBulletTShirt", "EnemyHitType = \"B\"\nCanHitPlayer = 0"},
  };
}
