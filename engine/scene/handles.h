// Forward declarations and handle types of the engine's objects.
//
// Every engine object is reference counted through std::shared_ptr. The engine's
// lists own what is live (the world list owns every entity, the texture list every
// texture); programs hold further references as handles. Back-references (an entity's
// parent) are plain pointers that the owner clears before it goes.
#pragma once

#include <memory>

class TEntity;
class TPivot;
class TCamera;
class TLight;
class TMesh;
class TSprite;
class TBone;
class TSurface;
class TBrush;
class TTexture;
class TTextureFilter;
class TOctree;

using EntityPtr = std::shared_ptr<TEntity>;
using PivotPtr = std::shared_ptr<TPivot>;
using CameraPtr = std::shared_ptr<TCamera>;
using LightPtr = std::shared_ptr<TLight>;
using MeshPtr = std::shared_ptr<TMesh>;
using SpritePtr = std::shared_ptr<TSprite>;
using BonePtr = std::shared_ptr<TBone>;
using SurfacePtr = std::shared_ptr<TSurface>;
using BrushPtr = std::shared_ptr<TBrush>;
using TexturePtr = std::shared_ptr<TTexture>;
using OctreePtr = std::shared_ptr<TOctree>;
