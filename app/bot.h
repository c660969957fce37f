#pragma once
// The balance bot (-bot): plays the game as a sensible new player would, to
// measure the balance over many seeds and to drive gameplay tests. It gives
// its input through the same path a person's input takes (the camera's
// orientation, the buttons held and pressed, clicks on the spell panel), so
// a bot run records and replays like any other run.

// Decides this step's input and puts it in place of the devices' (before
// the step's input is recorded).
void bot_play_step();
