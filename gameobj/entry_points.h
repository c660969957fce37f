// The entry points the game binds by name, with the arguments each takes.
#pragma once
#include "module_api.h"

void toggle_mana_cheat();
void add_source_water(int x, int z, float amount);
void add_water_source(const vec4f& pos, float rate, float seconds);
void apply_fireball(const vec4f& pos, float radius);
void add_water_globe(const vec4f& pos, float amount, float radius);
void create_hill(float x, float z, float radius, float height);
void init_spell_grid();
void spawn_monster(const vec4f& pos);
bool is_world_complete();
void toggle_monster_spawn();
void spawn_monsters(float dt);
void init_inst_render();
void do_inst_render(float t);
void render_gameobj_shadow(float t);
vec4f calc_land_norm(int x, int z);
void generate_objects();
void render_building(const HeightmapData::Surface& cell, int x, int z);
void spawn_fireball_fx(const vec4f& pos, const vec4f& vel);
void fireball_explode_fx(const vec4f& pos);
void spawn_waterball_missile_fx(const vec4f& pos, const vec4f& vel);
void spawn_magic_missile_fx(const vec4f& pos, const vec4f& vel);
void spawn_water_source_fx(const vec4f& pos);
void spawn_water_sink_fx(const vec4f& pos);
void spawn_meteor_fx(const vec4f& pos, const vec4f& vel);
void meteor_explode_fx(const vec4f& pos);
void wyvern_death_fx(const vec4f& pos);
vec4f make_dir_xz(float yaw);
void init_fx_data();
void update_gameobj(int step, float dt);
void render_gameobj(float t);
void render_debug_vis_gameobj(float t);
void remove_all_gameobj();
void save_gameobj(ObjectSaveWriter& out);
bool load_gameobj(ObjectSaveReader& in);
void init_gameobj();
void close_gameobj();
void delete_gameobj(BaseObject* obj);
void bind_gameobj(HSQUIRRELVM vm);
