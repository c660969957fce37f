#pragma once
// The simulation's fixed step. Every step advances the world by the same
// time whatever the frame rate; frames show a fraction 0..1 of the way from
// the last step's state to the next.
constexpr int SIM_STEPS_PER_SECOND = 20;
constexpr float SIM_STEP_SECONDS = 1.0f / SIM_STEPS_PER_SECOND;
// Steps caught up back to back before the lost time is dropped.
constexpr int SIM_MAX_CATCHUP_STEPS = 5;
