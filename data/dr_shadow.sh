// Object shadows, one screen tile per instance: darkens the white target
// where the geometry behind each pixel is hidden from the sun by one of the
// tile's spheres. NUMVEC spheres arrive per instance.
#include "dr_gbuffer.sh"

#ifdef VSH
in vec2 POSITION0;  // tile corner, 0 or 1
in vec2 POSITION1;  // tile column and row
in vec4 TEXCOORD0;
#if NUMVEC > 1
in vec4 TEXCOORD1;
#endif
#if NUMVEC > 2
in vec4 TEXCOORD2;
in vec4 TEXCOORD3;
#endif
#if NUMVEC > 4
in vec4 TEXCOORD4;
in vec4 TEXCOORD5;
in vec4 TEXCOORD6;
in vec4 TEXCOORD7;
#endif
flat out vec4 sph[NUMVEC];
out vec3 ray;
vec4 vsh() {
  sph[0] = TEXCOORD0;
#if NUMVEC > 1
  sph[1] = TEXCOORD1;
#endif
#if NUMVEC > 2
  sph[2] = TEXCOORD2;
  sph[3] = TEXCOORD3;
#endif
#if NUMVEC > 4
  sph[4] = TEXCOORD4;
  sph[5] = TEXCOORD5;
  sph[6] = TEXCOORD6;
  sph[7] = TEXCOORD7;
#endif
  vec2 clip = (POSITION1 + POSITION0) * vc[15].xy + vc[15].zw;
  ray = far_ray(clip);
  return vec4(clip, 0.5, 1.0);
}
#endif

#ifdef PSH
flat in vec4 sph[NUMVEC];
in vec3 ray;
vec4 psh() {
  vec4 nd = gbuf_normal_depth(screen_uv());
  vec3 p = pc[16].xyz + ray * nd.w;  // world position of the pixel
  vec3 sun = normalize(pc[18].xyz);
  float lit = 1.0;
  for (int i = 0; i < NUMVEC; i++) {
    vec3 d = sph[i].xyz - p;
    float along = dot(d, sun);  // how far toward the sun the sphere is
    float r = sph[i].w;
    if (along <= 0.0) continue;
    float miss = length(d - along * sun);  // distance of the sun ray from the centre
    // A soft penumbra that widens with the distance to the occluder.
    float soft = r * (0.35 + 0.08 * along / r);
    float cover = 1.0 - smoothstep(r - soft, r + soft, miss);
    lit *= 1.0 - 0.65 * cover;
  }
  return vec4(lit, lit, lit, 1.0);
}
#endif
