// Every number a designer tunes, in one place: how fast things move, what
// they cost, how far they reach, how long they last, how big the waves are.
// Distances are in world units (one unit = one cell), times in seconds,
// rates per second, health of the player as a fraction of full health.
// Numbers that belong to the code's mechanics rather than to the game's
// balance (sample steps, look-ahead counts) stay beside their code.
#pragma once

namespace tuning {

// ---- The player -----------------------------------------------------------
inline constexpr int START_MANA = 60;
inline constexpr int MANA_CAP = 999;
inline constexpr float HAND_COOLDOWN_S = 0.4f;        // between two casts of one hand
inline constexpr float RESPAWN_DELAY_S = 3.f;         // a fallen player waits this long
inline constexpr float RESPAWN_MANA_KEPT = 0.75f;     // share of the mana a fall keeps
inline constexpr float RESPAWN_PROTECTION_S = 3.f;    // nothing hurts the player this long after
inline constexpr float PLAYER_FALL_SPEED = 6.f;       // units a second, while fallen
inline constexpr float PLAYER_MIN_CLEARANCE = 2.f;    // above the land or water
inline constexpr float PLAYER_MAX_HEIGHT = 160.f;
inline constexpr float START_HOVER = 14.f;            // above the castle at the start
inline constexpr float START_BACKOFF = 18.f;          // south of it, facing it
inline constexpr float START_PITCH = -0.52f;          // radians, about 30 degrees down

// ---- Spells and missiles --------------------------------------------------
inline constexpr int COST_FIREBALL = 5, COST_WATERBALL = 8, COST_FAULT = 20, COST_HOUSE = 15;
inline constexpr int COST_METEOR = 40, COST_HILL = 10, COST_PIT = 10, COST_SPRING = 25, COST_SINK = 25;
inline constexpr float MISSILE_SPEED = 40.f;          // units a second
inline constexpr float MISSILE_MAX_AGE_S = 12.f;      // one that never lands goes out
inline constexpr float MISSILE_MONSTER_HIT = 3.f;     // a passing fireball or waterball strikes this close
inline constexpr float FIREBALL_BLAST = 4.f;          // kills wyverns, sets gatherers on fire
inline constexpr float WATERBALL_WATER = 300.f;       // water units poured
inline constexpr float WATERBALL_RADIUS = 3.f;
inline constexpr float FAULT_HEIGHT = 4.f;            // from the low side to the high
inline constexpr float FAULT_REACH = 20.f;            // cells either side of the impact
inline constexpr float HILL_RADIUS = 8.f, HILL_HEIGHT = 6.f;
inline constexpr float SPRING_RATE = 10.f;            // water units a second
inline constexpr float SPRING_S = 60.f;
inline constexpr float METEOR_HEIGHT = 90.f;          // falls from this high above its target
inline constexpr float METEOR_BLAST = 10.f;           // kills wyverns and gatherers
inline constexpr float METEOR_CRATER = 8.f;
inline constexpr float METEOR_PLAYER_DAMAGE = 0.5f;   // at the blast's centre
inline constexpr float METEOR_CASTLE_REACH = 10.f;    // a meteor this close to the keep hurts it
inline constexpr float METEOR_CASTLE_DAMAGE = 30.f;   // castle health
inline constexpr float PROVOKE_RADIUS = 8.f;          // a spell landing this close angers a wyvern
inline constexpr float PROVOKED_S = 5.f;              // and it stays angry this long

// ---- Gatherers and mana ---------------------------------------------------
inline constexpr int GATHERERS_PER_WORLD = 3;
inline constexpr int STONES_PER_WORLD = 8;
inline constexpr float GATHERER_MIN_DISTANCE = 14.f, GATHERER_MAX_DISTANCE = 22.f;  // from the castle
inline constexpr float GATHER_S_PER_MANA = 2.f;
inline constexpr float STONE_REACH = 12.f;            // twice as fast this close to a stone
inline constexpr float SEND_INTERVAL_S = 10.f;        // between two mana balls of one gatherer
inline constexpr float GATHERER_FIRE_S = 3.f;         // a burning gatherer lasts this long
inline constexpr float EXTINGUISH_DEPTH = 0.3f;       // water this deep puts the fire out
inline constexpr float RUIN_REGROW_S = 30.f;          // a ruin grows a new gatherer after this
inline constexpr int WYVERN_DROPPED_MANA = 10;
inline constexpr float BALL_CATCH = 1.6f;             // a mana ball is absorbed this close
inline constexpr float BALL_MAX_AGE_S = 40.f;

// ---- The castle -----------------------------------------------------------
inline constexpr int CASTLE_TOP_LEVEL = 3;
inline constexpr int CASTLE_LEVEL_COST[CASTLE_TOP_LEVEL] = {100, 200, 400};  // mana, world 1
inline constexpr float CASTLE_COST_PER_WORLD = 0.25f; // each later world's levels cost this much more
inline constexpr float CASTLE_BASE_HEALTH = 100.f;
inline constexpr float CASTLE_HEALTH_PER_LEVEL = 50.f;
inline constexpr float CASTLE_REPAIR_PER_S = 1.f;     // while no wyvern is near
inline constexpr float CASTLE_THREAT_RANGE = 14.f;    // no repair while a wyvern is this close
inline constexpr float CASTLE_FALL_S = 3.f;           // it crumbles this long before the world restarts
inline constexpr float CASTLE_CRUMBLE_DEPTH = 4.f;    // its buildings sink this far
inline constexpr float PORTAL_HOVER = 16.f;           // above the castle
inline constexpr float PORTAL_REACH = 20.f;           // a portal cast landing this close uses it
inline constexpr float PORTAL_PATH_REACH = 6.f;       // or passing this close on its way

// ---- Wyverns and waves ----------------------------------------------------
inline constexpr float CALM_S_WORLD1 = 60.f;          // no wyvern before this in world 1,
inline constexpr float CALM_S_LESS_PER_WORLD = 15.f;  // this much less each world,
inline constexpr float CALM_S_MIN = 30.f;             // never less
inline constexpr float WAVE_WARNING_S = 5.f;          // a wave is announced this long ahead
inline constexpr float WAVE_INTERVAL_S_WORLD1 = 45.f;
inline constexpr float WAVE_INTERVAL_LESS_PER_WORLD = 5.f;
inline constexpr float WAVE_INTERVAL_MIN_S = 20.f;
inline constexpr float WAVE_ARRIVAL_GAP_S = 1.5f;     // between two wyverns of one wave
inline constexpr float WAVE_SPREAD = 0.35f;           // radians either side of the wave's bearing
inline constexpr int ALIVE_BASE = 2, ALIVE_PER_WORLD = 2;  // at most 2 + 2 x world alive
inline constexpr float RIM_DISTANCE = 100.f;          // waves come in this far from the castle
inline constexpr float SPAWN_HEIGHT = 16.f;           // above the surface there
inline constexpr float WYVERN_SPEED = 8.f;            // units a second in world 1
inline constexpr float WYVERN_SPEED_PER_WORLD = 1.f;
inline constexpr float WYVERN_TURN_RATE = 1.5f;       // radians a second
inline constexpr float WYVERN_CLIMB_RATE = 5.f;
inline constexpr float WYVERN_MAX_BANK = 0.8f;        // radians
inline constexpr float WYVERN_CRUISE_HEIGHT = 10.f;   // above the land on the way
inline constexpr float WYVERN_ATTACK_HEIGHT = 5.f;    // above what it burns
inline constexpr float WYVERN_APPROACH = 28.f;        // starts its descent this far out
inline constexpr float WYVERN_HOVER_RANGE = 8.f;
inline constexpr float WYVERN_HOVER_SPEED = 0.4f;     // share of its speed over its prey
inline constexpr float WYVERN_CLEARANCE = 1.5f;       // never closer to the land
inline constexpr float WYVERN_SEPARATION = 5.f;       // keeps this far from the others
inline constexpr float WYVERN_NOTICE_PLAYER = 8.f;    // turns on a player this close
inline constexpr int WYVERN_MAX_CHASERS = 2;          // at most this many chase the player
inline constexpr float BREATH_RANGE = 9.f;
inline constexpr float BREATH_S = 1.5f, BREATH_PAUSE_S = 1.f;
inline constexpr float BREATH_CASTLE_PER_S = 1.5f;    // castle health
inline constexpr float BREATH_PLAYER_PER_S = 0.06f;   // of full health
inline constexpr float DROWN_DEPTH = 1.f;
inline constexpr float FLEE_GONE_DISTANCE = 90.f;     // a fleeing wyvern this far from the castle is gone

}  // namespace tuning
