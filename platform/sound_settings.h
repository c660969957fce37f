#pragma once
// The sound volumes as the settings file keeps them, shared by the game,
// the launcher and the game's options: four volumes 0..100 and a switch.
//   "sound_master_volume"=dword:00000050    ; 0..100, scales everything
//   "sound_effects_volume"=dword:00000064   ; spells, creatures, interface
//   "sound_ambience_volume"=dword:00000032  ; wind and surf
//   "sound_music_volume"=dword:00000023     ; the music bed
//   "sound_enabled"=dword:00000001          ; 0 mutes the game

constexpr const char* SOUND_SETTING_MASTER = "sound_master_volume";
constexpr const char* SOUND_SETTING_EFFECTS = "sound_effects_volume";
constexpr const char* SOUND_SETTING_AMBIENCE = "sound_ambience_volume";
constexpr const char* SOUND_SETTING_MUSIC = "sound_music_volume";
constexpr const char* SOUND_SETTING_ENABLED = "sound_enabled";

// How far one press of a volume key, or one step of an option row, moves a volume.
constexpr int SOUND_VOLUME_STEP = 10;

struct SoundVolumes {
  int master = 80;
  int effects = 100;
  int ambience = 50;
  int music = 35;
  bool enabled = true;
};

// The stored volumes; a missing value keeps its default, a value out of
// range is brought into 0..100.
SoundVolumes load_sound_settings();
// Writes all five values; false when the settings file could not be written.
bool save_sound_settings(const SoundVolumes& v);
