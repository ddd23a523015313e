// Low-poly mannequin geometry for the previewer's models: a female and a male figure
// made of lofted tubes (head, torso, arms, hips, legs, feet), each split into the head,
// upper-body and lower-body regions, and a skirt fitted around both figures' hips.
//
// Texture layout, the same for every region: u runs once around each part, starting at
// the figure's right side, so the left half of an image is the front (seen as a viewer
// facing the figure sees it) and the right half the back; v runs from top to bottom,
// leaving kImageEdge free at the top and the bottom. Upper image: torso down to v 0.6,
// then the right arm in u 0..0.5 and the left arm in u 0.5..1. Lower image: hips down
// to v 0.3, legs (right, left) to 0.9, feet below. Head image: head and neck. Skirt
// image: the skirt from waist to hem.
#pragma once

#include <array>
#include <string>
#include <vector>

// Rows at the image's top and bottom that no part uses: textures repeat, so filtering
// there would mix a region's top edge with the image's bottom.
constexpr float kImageEdge = 0.03f;

struct MannequinVertex {
  float x, y, z;     // right-handed, y up, the figure facing +z
  float nx, ny, nz;  // unit
  float u, v;
};

// One region: its vertices and triangles, counter-clockwise seen from outside.
struct MannequinRegion {
  std::string name;  // "head", "upper", "lower" or "skirt"
  std::vector<MannequinVertex> vertices;
  std::vector<int> triangles;  // 3 per triangle
  std::vector<bool> arm;       // per vertex: part of an arm, which the skirt need not hold
};

struct MannequinFigure {
  std::array<MannequinRegion, 3> regions;  // head, upper, lower
};

MannequinFigure BuildFemaleFigure();
MannequinFigure BuildMaleFigure();
// A flared skirt from the waist to above the knees, wide enough at every height to hold
// the torso, hips and legs of every figure given. One layer of cloth, faces outwards:
// textures with alpha draw it without depth writes, so a lining would show through.
MannequinRegion BuildSkirt(const std::vector<const MannequinFigure*>& figures);

// The largest amount by which any vertex of the figure's torso, hips and legs between
// the skirt's top and hem pokes out through the skirt (0 when the skirt holds it all).
float SkirtOverlap(const MannequinRegion& skirt, const MannequinFigure& figure);
