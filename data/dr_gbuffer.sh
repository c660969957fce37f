// The deferred path's geometry buffer: what each of the three geometry
// targets holds, shared by the geometry shaders that write it and the
// shadow, light and final passes that read it.
//
//   target 0 (read back as stage 8):  xyz = world-space normal, scaled by
//                                     1 + water (length 1 on land, up to 2
//                                     on deep water), w = view depth / 512
//                                     (0 = camera)
//   target 1 (stage 9):               rgb = albedo, a = sky aperture
//                                     (1 open sky, 0 fully enclosed)
//   target 2 (stage 10):              r = specular strength, g = water
//                                     (1 on water, 0 on land), b, a = 0
//
// The water pass runs with target 2 unbound (the pass order leaves the
// land's material there), so the water amount travels in the normal's
// length instead; read it with gbuf_water().
//
// Geometry shaders fill targets 1 and 2 with gbuf_write() and return its
// result (target 0) from psh(); the depth constant in
// vertex register 6 turns a world position into view depth / 512.
#ifdef PSH
#ifdef GBUF_WRITE
vec4 gbuf_write(vec3 normal, float depth512, vec3 albedo, float aperture, float specular, float water) {
  oC1 = vec4(albedo, aperture);
  oC2 = vec4(specular, water, 0.0, 0.0);
  return vec4(normalize(normal) * (1.0 + clamp(water, 0.0, 1.0)), depth512);
}
#else
uniform sampler2D gbuf_normal8;
uniform sampler2D gbuf_albedo9;
uniform sampler2D gbuf_material10;
vec4 gbuf_normal_depth(vec2 uv) { return texture(gbuf_normal8, uv); }
vec4 gbuf_albedo(vec2 uv) { return texture(gbuf_albedo9, uv); }
vec4 gbuf_material(vec2 uv) { return texture(gbuf_material10, uv); }
// Water amount (0 on land, 1 on deep water) from a normal and depth texel.
float gbuf_water(vec4 nd) {
  float w = length(nd.xyz) - 1.0;
  return w > 0.01 ? min(w, 1.0) : 0.0;
}
#endif
// Texture coordinate of the pixel being shaded.
vec2 screen_uv() { return (vpos() + 0.5) * d3d_rt.xy; }
#endif
#ifdef VSH
// View depth / 512 of a world position (vertex register 6).
float view_depth512(vec3 world) { return dot(vec4(world, 1.0), vc[6]); }
// World-space ray to the far distance through a clip-space point, from
// vertex registers 17-19 (right, up and forward scaled for 512 units).
vec3 far_ray(vec2 clip) { return clip.x * vc[17].xyz + clip.y * vc[18].xyz + vc[19].xyz; }
#endif
