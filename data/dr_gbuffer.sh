// The deferred path's geometry buffer: what each of the three geometry
// targets holds, shared by the geometry shaders that write it and the
// shadow, light and final passes that read it.
//
//   target 0 (read back as stage 8):  xyz = world-space unit normal,
//                                     w   = view depth / 512 (0 = camera)
//   target 1 (stage 9):               rgb = albedo, a = sky aperture
//                                     (1 open sky, 0 fully enclosed)
//   target 2 (stage 10):              r = specular strength, g = water
//                                     (1 on water, 0 on land), b, a = 0
//
// Geometry shaders fill targets 1 and 2 with gbuf_write() and return its
// result (target 0) from psh(); the depth constant in
// vertex register 6 turns a world position into view depth / 512.
#ifdef PSH
#ifdef GBUF_WRITE
vec4 gbuf_write(vec3 normal, float depth512, vec3 albedo, float aperture, float specular, float water) {
  oC1 = vec4(albedo, aperture);
  oC2 = vec4(specular, water, 0.0, 0.0);
  return vec4(normalize(normal), depth512);
}
#else
uniform sampler2D gbuf_normal8;
uniform sampler2D gbuf_albedo9;
uniform sampler2D gbuf_material10;
vec4 gbuf_normal_depth(vec2 uv) { return texture(gbuf_normal8, uv); }
vec4 gbuf_albedo(vec2 uv) { return texture(gbuf_albedo9, uv); }
vec4 gbuf_material(vec2 uv) { return texture(gbuf_material10, uv); }
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
