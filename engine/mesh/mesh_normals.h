// Smooth vertex normals welded by exact position over a group of surfaces.
// UpdateNormals welds each surface on its own; a primitive that had to be split over
// several surfaces (the 16-bit index ceiling) welds them as one, so the split never shows.
#pragma once

#include <vector>

class TSurface;

// Face normals (unnormalised, so larger faces weigh more) summed per distinct stored
// position over all the given surfaces, then normalised into every vertex at that
// position. A position whose faces sum to nothing (all degenerate, or cancelling) keeps
// the normals its vertices had; vertices no triangle touches keep theirs too.
void WeldNormals(const std::vector<TSurface*>& surfaces);
