// The stages of the water sweep and the sweep itself, written once
// for any lane width. water.cpp includes this file once per width, inside a
// namespace that provides
//   V                      the lane type (simd::F4, simd::F8),
//   WIDTH                  its number of lanes,
//   vload, vloadu, splat, zeros
//                          aligned and unaligned loads, broadcast, zero,
//   leave_sweep            what the width must do before returning to
//                          plain code,
// with WATER_SWEEP_TARGET set to the code-generation attribute of that width.
// Every lane performs the same operations in the same order whatever the
// width, so all widths give the same bits.

// The row copies and the transposes between the grid's cell layout and the
// field rows run four lanes at a time at every width; they are built with the
// width's code generation too, so that an eight-lane sweep never switches
// between instruction encodings.

// Copies row z to tmpw and splits it into fields.
WATER_SWEEP_TARGET void stage_save(int z) {
  RowA& a = rowA(z);
  const Water* src = water[z];
  Water* dst = tmpw[z];
  const float* ground = hmap + (z << HMAP_SIZE_SHIFT);
  // Each row is one 4 KiB page, where the hardware prefetchers stop: fetch the
  // next row to be saved while this one is split.
  const char* next = reinterpret_cast<const char*>(water[(z + 1) & HMAP_MASK]);
  const char* nextGround = reinterpret_cast<const char*>(hmap + (((z + 1) & HMAP_MASK) << HMAP_SIZE_SHIFT));
  for (int x = 0; x < HMAP_SIZE; x += 4) {
    prefetch(next + x * 16);
    if ((x & 15) == 0) prefetch(nextGround + x * 4);
    const float* p = &src[x].depth;
    F4 w0 = load(p), w1 = load(p + 4), w2 = load(p + 8), w3 = load(p + 12);
    // The saved state is only read by the renderer, later: keep it out of
    // the caches the sweep is working in.
    float* q = &dst[x].depth;
    stream(q, w0);
    stream(q + 4, w1);
    stream(q + 8, w2);
    stream(q + 12, w3);
    transpose(w0, w1, w2, w3);
    store(a.d + PAD + x, w0);
    store(a.fx + PAD + x, w1);
    store(a.fz + PAD + x, w2);
    store(a.fo + PAD + x, w3);
    store(a.g + PAD + x, load(ground + x));
  }
  set_pads(a.d);
  set_pads(a.fx);
  set_pads(a.g);
}

// New depth of one cell: its start depth plus what it receives, minus what it
// sends, summed in the scan order of the senders.
WATER_SWEEP_TARGET float final_depth_scan_order(int x, int z) {
  int xl = (x - 1) & HMAP_MASK, xr = (x + 1) & HMAP_MASK;
  int zu = (z - 1) & HMAP_MASK, zd = (z + 1) & HMAP_MASK;
  struct Part {
    int order;
    float v;
  } parts[5] = {
      {(zu << 8) | x, rowC(zu).sd[PAD + x]},
      {(z << 8) | xl, rowC(z).sr[PAD + xl]},
      {(z << 8) | x, -rowC(z).own[PAD + x]},  // adding -own is subtracting own
      {(z << 8) | xr, rowC(z).sl[PAD + xr]},
      {(zd << 8) | x, rowC(zd).su[PAD + x]},
  };
  for (int i = 1; i < 5; i++)
    for (int j = i; j > 0 && parts[j].order < parts[j - 1].order; j--) std::swap(parts[j], parts[j - 1]);
  float d = rowA(z).d[PAD + x];
  for (const Part& p : parts) d = d + p.v;
  return d;
}

// Writes row z back: the final depths with the new flows and foam.
WATER_SWEEP_TARGET void write_row(int z, const float* depth) {
  const RowB& b = rowB(z);
  Water* dst = water[z];
  for (int x = 0; x < HMAP_SIZE; x += 4) {
    F4 w0 = load(depth + x), w1 = load(b.fx + PAD + x), w2 = load(b.fz + PAD + x), w3 = load(b.fo + PAD + x);
    transpose(w0, w1, w2, w3);
    float* q = &dst[x].depth;
    store(q, w0);
    store(q + 4, w1);
    store(q + 8, w2);
    store(q + 12, w3);
  }
}

// The carry test of one edge: true where the flow has nothing to carry.
WATER_SWEEP_INLINE V cut_mask(V flow, V d, V g, V L, V dn, V gn) {
  V zero4 = zeros();
  V out = max(min(L - gn, d), zero4);
  V in = max(min((dn + gn) - g, dn), zero4);
  return (cmpge(flow, zero4) & cmpeq(out, zero4)) | (cmplt(flow, zero4) & cmpeq(in, zero4));
}

// Smoothing and acceleration of row z.
WATER_SWEEP_TARGET void stage_flows(int z, const Coeffs& k) {
  const RowA& up = rowA(z - 1);
  const RowA& a = rowA(z);
  const RowA& dn = rowA(z + 1);
  RowB& b = rowB(z);
  V side = splat(k.side), centre = splat(k.centre), accel = splat(k.accel), damp = splat(k.damp);
  V foamKeep = splat(k.foamKeep), tenth = splat(0.1f), one = splat(1.0f), foamGain = splat(3.2f);
  for (int i = PAD; i < PAD + HMAP_SIZE; i += WIDTH) {
    V fx = (vloadu(a.fx + i - 1) + vloadu(a.fx + i + 1)) * side + vload(a.fx + i) * centre;
    V fz = (vload(up.fz + i) + vload(dn.fz + i)) * side + vload(a.fz + i) * centre;
    V d = vload(a.d + i), g = vload(a.g + i), L = g + d;
    V foam = vload(a.fo + i);

    V dR = vloadu(a.d + i + 1), gR = vloadu(a.g + i + 1);
    V cut = cut_mask(fx, d, g, L, dR, gR);
    fx = andnot(cut, fx);
    foam = foam + (cut & tenth);
    V ax = (L - (gR + dR)) * accel;
    fx = fx * damp + ax;

    V dD = vload(dn.d + i), gD = vload(dn.g + i);
    cut = cut_mask(fz, d, g, L, dD, gD);
    fz = andnot(cut, fz);
    foam = foam + (cut & tenth);
    V az = (L - (gD + dD)) * accel;
    fz = fz * damp + az;

    store(b.fx + i, fx);
    store(b.fz + i, fz);
    store(b.fo + i, min((ax * ax + az * az) * foamGain + foamKeep * foam, one));
  }
  set_pads(b.fx);
}

// What every cell of row z sends, from the depths at the start of the pass.
WATER_SWEEP_TARGET void stage_sends(int z, const Coeffs& k) {
  const RowA& gu = rowA(z - 1);
  const RowA& a = rowA(z);
  const RowA& gd = rowA(z + 1);
  const RowB& bu = rowB(z - 1);
  const RowB& b = rowB(z);
  RowC& c = rowC(z);
  V zero4 = zeros(), move = splat(k.move), least = splat(0.001f);
  for (int i = PAD; i < PAD + HMAP_SIZE; i += WIDTH) {
    V D = vload(a.d + i);
    V L = vload(a.g + i) + D;
    // Each outflow counts only when positive and the receiver's ground is not above L.
    V oL = zero4 - vloadu(b.fx + i - 1), oU = zero4 - vload(bu.fz + i);
    V oR = vload(b.fx + i), oD = vload(b.fz + i);
    oL = oL & (cmpgt(oL, zero4) & cmple(vloadu(a.g + i - 1), L));
    oU = oU & (cmpgt(oU, zero4) & cmple(vload(gu.g + i), L));
    oR = oR & (cmpgt(oR, zero4) & cmple(vloadu(a.g + i + 1), L));
    oD = oD & (cmpgt(oD, zero4) & cmple(vload(gd.g + i), L));
    V total = ((oL + oU) + oR) + oD;
    V amount = total * move;
    V sends = cmpgt(D, zero4) & cmpgt(amount, least);
    if (movemask(sends) == 0) {
      store(c.own + i, zero4);
      store(c.sl + i, zero4);
      store(c.sr + i, zero4);
      store(c.su + i, zero4);
      store(c.sd + i, zero4);
      continue;
    }
    amount = min(D, amount) & sends;
    // The share per unit of outflow; lanes that send nothing give 0 / 0,
    // which the mask clears.
    V per = (amount / total) & sends;
    store(c.own + i, amount);
    store(c.sl + i, per * oL);
    store(c.su + i, per * oU);
    store(c.sr + i, per * oR);
    store(c.sd + i, per * oD);
  }
  set_pads(c.sl);
  set_pads(c.sr);
}

// Final depths of row z, written back with the new flows and foam.
WATER_SWEEP_TARGET void stage_store(int z) {
  const RowA& a = rowA(z);
  const RowC& cu = rowC(z - 1);
  const RowC& c = rowC(z);
  const RowC& cd = rowC(z + 1);
  alignas(32) float depth[HMAP_SIZE];
  if (z == 0 || z == HMAP_SIZE - 1) {
    for (int x = 0; x < HMAP_SIZE; x++) depth[x] = final_depth_scan_order(x, z);
  } else {
    // Inner cells: from above, from the left, own, from the right, from below.
    for (int i = PAD; i < PAD + HMAP_SIZE; i += WIDTH) {
      V d = vload(a.d + i) + vload(cu.sd + i);
      d = d + vloadu(c.sr + i - 1);
      d = d - vload(c.own + i);
      d = d + vloadu(c.sl + i + 1);
      d = d + vload(cd.su + i);
      store(depth + i - PAD, d);
    }
    depth[0] = final_depth_scan_order(0, z);
    depth[HMAP_SIZE - 1] = final_depth_scan_order(HMAP_SIZE - 1, z);
  }
  write_row(z, depth);
}

// One step over the whole grid. Each row's stages run as soon as the rows
// they read are complete; rows 0, 1, 254 and 255, needed across the wrap,
// are done first or last.
WATER_SWEEP_TARGET void sweep(const Coeffs& k) {
  stage_save(254);
  stage_save(255);
  stage_save(0);
  stage_save(1);
  stage_flows(255, k);
  stage_flows(0, k);
  stage_sends(0, k);
  for (int z = 1; z <= 253; z++) {
    if (z + 1 <= 253) stage_save(z + 1);
    stage_flows(z, k);
    stage_sends(z, k);
    if (z >= 2) stage_store(z - 1);
  }
  stage_flows(254, k);
  stage_sends(254, k);
  stage_store(253);
  stage_sends(255, k);
  stage_store(254);
  stage_store(255);
  stage_store(0);
  leave_sweep();
}
