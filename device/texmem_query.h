#pragma once
// Texture memory as the driver reports it, for the statistics box. Drivers
// answer differently or not at all: free memory through the NVIDIA or AMD
// extensions, the renderer's total video memory through Mesa's renderer
// query (software renderers included).
struct TexMemInfo {
  int free_mb = -1;   // free texture memory in MiB; -1: no driver answers
  int total_mb = -1;  // video memory of the renderer in MiB; -1: unknown
};
// Needs the current GL context.
TexMemInfo query_texture_memory();
