#pragma once
// What the device asked of the GL driver: counted as it happens and kept per
// frame, a frame running from one present to the next (so a frame's figures
// include the simulation steps' uploads and the present itself).
struct DeviceCounters {
  int glCalls = 0;       // GL entry points called, reads included
  int reads = 0;         // calls that read state or data back from the driver
  int draws = 0;
  int stateChanges = 0;  // render states, bindings, programs and targets actually sent
  int bufferMaps = 0;    // vertex, index and register buffers mapped or written
};

// Running since the last present.
extern DeviceCounters device_counters;
// The counts of the frame last presented (zero before the first).
const DeviceCounters& last_frame_counters();
// Ends the counting of a frame: what ran since the last call becomes the last
// frame's counts and counting starts again. The device calls it at present;
// tools that draw without presenting may call it themselves.
void end_frame_counters();
