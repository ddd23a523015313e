// Entity lifetime, transforms, hierarchy and the world list.
// Appearance and the services (TForm, children, distances, collision settings) are in
// entity_services.cpp, animation control in entity_animation.cpp, picks in entity_pick.cpp.
//
// Sections: lifetime, transforms, world getters, hierarchy and world list, pivot.
#include "engine/scene/entity.h"

#include <algorithm>

#include "engine/math/vector.h"
#include "engine/mesh/brush.h"
#include "engine/scene/copy_context.h"
#include "engine/scene/subtree_walk.h"

TEntity::List TEntity::entity_list;
float TEntity::tformed_x = 0;
float TEntity::tformed_y = 0;
float TEntity::tformed_z = 0;

TEntity::TEntity() : brush(std::make_shared<TBrush>()) {}

TEntity::~TEntity() {
  // Children outliving an entity that was never freed must not point back at it.
  for (const EntityPtr& c : children) c->parent = nullptr;
}

// ---- Lifetime ---------------------------------------------------------------------

void TEntity::Attach(const std::string& kind, const EntityPtr& parent_entity) {
  class_name = kind;
  AddParent(parent_entity);
  EntityListAdd(entity_list);
  if (parent) {
    UpdateMat(0);  // AddParent copied the parent's matrix
  } else {
    UpdateMat(1);
  }
}

EntityPtr TEntity::CopyEntity(const EntityPtr& parent_entity) {
  if (freed_) return nullptr;
  EntityPtr copy = StartCopy();
  if (!copy) return nullptr;
  TCopyContext context(*this, *copy);
  copy->CopyChildrenOf(*this, context);
  // The whole subtree stands now: a copied mesh can find the copies of its bones,
  // below it or beside it.
  for (const auto& [source, made] : context.Pairs()) source->LinkCopy(*made, context);
  FinishCopy(copy, parent_entity);
  // The children were copied while the copy's matrix was still zero: placed once here,
  // from the top (each level doing it would cost entities x depth).
  UpdateChildren(copy.get());
  return copy;
}

void TEntity::CopyChildrenOf(const TEntity& source, TCopyContext& context) {
  // The copies started and not yet finished, from this entity down to the one the
  // walk stands below: a copy is finished once the walk has left its subtree, so the
  // copies are made, and join the lists, in the order a recursion would make them.
  struct Open {
    const TEntity* source;
    EntityPtr copy;
  };
  std::vector<Open> open{{&source, shared_from_this()}};
  SubtreeWalk walk(&source);
  for (;;) {
    const bool more = walk.Next();
    for (const size_t depth = more ? walk.Depth() : 1; open.size() > depth;) {
      const Open done = std::move(open.back());
      open.pop_back();
      done.source->FinishCopy(done.copy, open.back().copy);
      context.Add(*done.source, *done.copy);
    }
    if (!more) break;
    const EntityPtr& c = walk.Current();
    EntityPtr copy = c->freed_ ? nullptr : c->StartCopy();
    if (!copy) continue;  // refused: its subtree stays uncopied
    open.push_back({c.get(), std::move(copy)});
    walk.Descend();
  }
}

void TEntity::CopyBaseFields(const TEntity& s) {
  pos_x = s.pos_x, pos_y = s.pos_y, pos_z = s.pos_z;
  scale_x = s.scale_x, scale_y = s.scale_y, scale_z = s.scale_z;
  pitch = s.pitch, yaw = s.yaw, roll = s.roll;
  quat_w = s.quat_w, quat_x = s.quat_x, quat_y = s.quat_y, quat_z = s.quat_z;
  name = s.name;
  class_name = s.class_name;
  order = s.order;
  cull_radius = s.cull_radius;
  radius_x = s.radius_x, radius_y = s.radius_y, radius_z = s.radius_z;
  box_x = s.box_x, box_y = s.box_y, box_z = s.box_z;
  box_w = s.box_w, box_h = s.box_h, box_d = s.box_d;
  pick_mode = s.pick_mode;
  pick_option = s.pick_option;
  hidden = 0;
}

void TEntity::PlaceCopy(const EntityPtr& parent_entity) {
  AddParent(parent_entity);
  // A copy joins the world list as a new entity does, at order 0, and takes its order
  // over afterwards: the world list is never re-sorted by order (see EntityOrder), and
  // the render list keeps same-order meshes in world-list order.
  const int copied_order = order;
  order = 0;
  EntityListAdd(entity_list);
  order = copied_order;
  RebuildMatrix();  // from the copied local fields rather than parent x source-world
}

void TEntity::FreeEntity() { Free(); }

void TEntity::Free() {
  if (freed_) return;
  EntityPtr keep = shared_from_this();  // the lists below may hold the last reference
  // Depth first, each entity before its children, as a recursion would go, but on a
  // stack of our own: a hierarchy built through the commands may be any depth. Every
  // freed entity is held until the end, so each one's parent pointer stays good while
  // its kind lets go; the child lists are dropped whole at the end rather than each
  // child searching its parent's list, which made a wide parent cost children squared.
  std::vector<EntityPtr> freed;
  std::vector<EntityPtr> pending{keep};
  while (!pending.empty()) {
    EntityPtr e = std::move(pending.back());
    pending.pop_back();
    if (e->freed_) continue;
    e->freed_ = true;
    e->ReleaseKind();
    entity_list.RemoveLink(e->list_link.lock().get());
    e->list_link.reset();
    if (e == keep) LeaveParent();
    e->brush = std::make_shared<TBrush>();  // drop the textures; a held handle stays usable
    const size_t first = pending.size();
    for (const EntityPtr& c : e->children) pending.push_back(c);
    std::reverse(pending.begin() + std::ptrdiff_t(first), pending.end());
    freed.push_back(std::move(e));
  }
  for (const EntityPtr& e : freed) {
    for (const EntityPtr& c : e->children) {
      c->parent = nullptr;
      c->child_link.reset();
    }
    e->children.Clear();
  }
}

void TEntity::LeaveParent() {
  if (!parent) return;
  parent->children.RemoveLink(child_link.lock().get());
  child_link.reset();
  parent = nullptr;
}

// ---- Transforms -------------------------------------------------------------------

namespace {
// The float nearest 0.0001: world angles within it of zero read as zero.
constexpr float kAngleSnap = 0.0001f;
float Snap(float v) { return (v >= -kAngleSnap && v <= kAngleSnap) ? 0.0f : v; }

// A world matrix's angles, public sign, as EntityPitch/Yaw/Roll(1) read them.
float MatrixPitch(const TMatrix& m) {
  const float g20 = m.grid[2][0], g22 = m.grid[2][2];
  return Snap(float(ATan2(m.grid[2][1], Sqr(g20 * g20 + g22 * g22))));
}
float MatrixYaw(const TMatrix& m) { return float(ATan2(Snap(m.grid[2][0]), Snap(m.grid[2][2]))); }
float MatrixRoll(const TMatrix& m) { return float(ATan2(Snap(m.grid[0][1]), Snap(m.grid[1][1]))); }
}  // namespace

void TEntity::RebuildMatrix() {
  if (parent) {
    matrix.Overwrite(parent->matrix);
    UpdateMat(0);
  } else {
    UpdateMat(1);
  }
  MatrixMoved();
}

void TEntity::UpdateMat(int flag) {
  if (flag == 1) {
    matrix.TForm(pos_x, pos_y, pos_z, pitch, yaw, roll, scale_x, scale_y, scale_z);
    return;
  }
  matrix.Translate(pos_x, pos_y, pos_z);
  matrix.RotateYaw(yaw);
  matrix.RotatePitch(pitch);
  matrix.RotateRoll(roll);
  matrix.Scale(scale_x, scale_y, scale_z);
}

void TEntity::UpdateChildren(TEntity* entity) {
  // Parents before children, as a recursion would go, in constant call stack.
  for (SubtreeWalk walk(entity); walk.Next();) {
    const EntityPtr& c = walk.Current();
    TEntity* e = walk.Parent();
    if (!c->FollowsParent()) continue;  // a bound bone hangs on its mesh and its pose
    c->matrix.Overwrite(e->matrix);
    c->UpdateMat(0);
    c->MatrixMoved();
    walk.Descend();
  }
}

void TEntity::PositionEntity(float x, float y, float z, int global) {
  RefreshLocal();
  pos_x = x;
  pos_y = y;
  pos_z = -z;
  TMatrix frame;
  if (global == 1 && FrameInWorld(frame)) {
    const TVector local = TransformPoint(frame.AffineInverse(), pos_x, pos_y, pos_z);
    pos_x = local.x;
    pos_y = local.y;
    pos_z = local.z;
  } else if (global == 1 && parent) {
    pos_x -= parent->EntityX(1);
    pos_y -= parent->EntityY(1);
    pos_z += parent->EntityZ(1);
    const TVector local = IntoParentAxes(pos_x, pos_y, pos_z, true);
    pos_x = local.x;
    pos_y = local.y;
    pos_z = local.z;
  }
  RebuildMatrix();
  if (!children.IsEmpty()) UpdateChildren(this);
}

TVector TEntity::IntoParentAxes(float x, float y, float z, bool unscale) const {
  const float pp = parent->EntityPitch(1), py = parent->EntityYaw(1), pr = parent->EntityRoll(1);
  if (!unscale) return IntoAxes(pp, py, pr, nullptr, x, y, z);
  const TVector s = parent->WorldScale();
  return IntoAxes(pp, py, pr, &s, x, y, z);
}

TVector TEntity::IntoAxes(float pp, float py, float pr, const TVector* unscale, float x, float y, float z) {
  TMatrix m;
  m.LoadIdentity();
  if (unscale) m.Scale(1 / unscale->x, 1 / unscale->y, 1 / unscale->z);
  m.RotateRoll(-pr);
  m.RotatePitch(pp);
  m.RotateYaw(-py);
  m.Translate(x, y, z);
  return TVector::Create(m.grid[3][0], m.grid[3][1], m.grid[3][2]);
}

void TEntity::MoveEntity(float x, float y, float z) {
  RefreshLocal();
  TMatrix m;
  m.LoadIdentity();
  m.RotateYaw(yaw);
  m.RotatePitch(pitch);
  m.RotateRoll(roll);
  m.Translate(x, y, -z);
  pos_x += m.grid[3][0];
  pos_y += m.grid[3][1];
  pos_z += m.grid[3][2];
  RebuildMatrix();
  UpdateChildren(this);
}

void TEntity::TranslateEntity(float x, float y, float z, int global) {
  RefreshLocal();
  float dx = x, dy = y, dz = -z;
  TMatrix frame;
  if (global == 1 && FrameInWorld(frame)) {
    // The frame's rotation only, as for a parent: its scale does not enter.
    const TVector local = IntoAxes(MatrixPitch(frame), MatrixYaw(frame), MatrixRoll(frame), nullptr, dx, dy, dz);
    dx = local.x;
    dy = local.y;
    dz = local.z;
  } else if (global == 1 && parent) {
    const TVector local = IntoParentAxes(dx, dy, dz, false);
    dx = local.x;
    dy = local.y;
    dz = local.z;
  }
  pos_x += dx;
  pos_y += dy;
  pos_z += dz;
  RebuildMatrix();
  if (!children.IsEmpty()) UpdateChildren(this);
}

void TEntity::ScaleEntity(float x, float y, float z, int global) {
  RefreshLocal();
  scale_x = x;
  scale_y = y;
  scale_z = z;
  if (global == 1 && parent) {
    for (const TEntity* e = this; e->parent; e = e->parent) {
      TVector above;
      const bool whole = e->parent->ScaleInWorld(above);
      scale_x /= above.x;
      scale_y /= above.y;
      scale_z /= above.z;
      if (whole) break;
    }
  }
  RebuildMatrix();
  if (!children.IsEmpty()) UpdateChildren(this);
}

void TEntity::RotateEntity(float p, float y, float r, int global) {
  RefreshLocal();
  pitch = -p;
  yaw = y;
  roll = r;
  TMatrix frame;
  const bool own_frame = global == 1 && FrameInWorld(frame);
  if (own_frame || (global == 1 && parent)) {
    // The parent's inverse followed by the requested rotation, read back as local angles.
    TMatrix rot;
    rot.LoadIdentity();
    rot.Rotate(pitch, yaw, roll);
    matrix.Overwrite((own_frame ? frame : parent->matrix).Inverse());
    matrix.Multiply(rot);
    pitch = -EntityPitch(1);
    yaw = EntityYaw(1);
    roll = EntityRoll(1);
  }
  RebuildMatrix();
  if (!children.IsEmpty()) UpdateChildren(this);
}

void TEntity::TurnEntity(float p, float y, float r, int /*global*/) {
  RefreshLocal();
  pitch += -p;
  yaw += y;
  roll += r;
  RebuildMatrix();
  if (!children.IsEmpty()) UpdateChildren(this);
}

void TEntity::PointEntity(const EntityPtr& target, float target_roll) {
  if (!target) return;
  const float dx = EntityX(1) - target->EntityX(1);
  const float dy = EntityY(1) - target->EntityY(1);
  const float dz = EntityZ(1) - target->EntityZ(1);
  const float p = float(ATan2(dy, Sqr(dx * dx + dz * dz)));
  const float y = float(ATan2(dx, -dz));
  RotateEntity(p, y, target_roll, 1);
}

// ---- World getters ----------------------------------------------------------------

bool TEntity::ScaleInWorld(TVector& s) const {
  s = TVector::Create(scale_x, scale_y, scale_z);
  return false;
}

float TEntity::EntityX(int global) const {
  if (global) return matrix.grid[3][0];
  RefreshLocal();
  return pos_x;
}
float TEntity::EntityY(int global) const {
  if (global) return matrix.grid[3][1];
  RefreshLocal();
  return pos_y;
}
float TEntity::EntityZ(int global) const {
  if (global) return -matrix.grid[3][2];
  RefreshLocal();
  return -pos_z;
}

float TEntity::EntityPitch(int global) const {
  if (!global) {
    RefreshLocal();
    return -pitch;
  }
  return MatrixPitch(matrix);
}

float TEntity::EntityYaw(int global) const {
  if (!global) {
    RefreshLocal();
    return yaw;
  }
  return MatrixYaw(matrix);
}

float TEntity::EntityRoll(int global) const {
  if (!global) {
    RefreshLocal();
    return roll;
  }
  return MatrixRoll(matrix);
}

// The world scale is the product of the local scales up to the root, multiplied from
// the entity upwards, until an entity whose matrix holds its whole world scale (a bound
// bone) gives that instead (ScaleInWorld).
TVector TEntity::WorldScale() const {
  TVector s = TVector::Create(1, 1, 1);
  for (const TEntity* e = this; e; e = e->parent) {
    TVector own;
    const bool whole = e->ScaleInWorld(own);
    s.x *= own.x;
    s.y *= own.y;
    s.z *= own.z;
    if (whole) break;
  }
  return s;
}

float TEntity::EntityScaleX(int global) const {
  if (global == 1) return WorldScale().x;
  RefreshLocal();
  return scale_x;
}
float TEntity::EntityScaleY(int global) const {
  if (global == 1) return WorldScale().y;
  RefreshLocal();
  return scale_y;
}
float TEntity::EntityScaleZ(int global) const {
  if (global == 1) return WorldScale().z;
  RefreshLocal();
  return scale_z;
}

// ---- Hierarchy and world list -------------------------------------------------------

EntityPtr TEntity::GetParent() const { return parent ? parent->shared_from_this() : nullptr; }

int TEntity::EntityHidden() const {
  for (const TEntity* e = this; e; e = e->parent)
    if (e->hidden == 1) return 1;
  return 0;
}

void TEntity::AddParent(const EntityPtr& p) {
  // A freed parent is out of the scene: under it the entity would draw at its last
  // place and never be freed with it. The entity becomes a root, as EntityParent does.
  parent = (p && !p->freed_) ? p.get() : nullptr;
  if (!parent) return;
  matrix.Overwrite(p->matrix);
  child_link = p->children.AddLast(shared_from_this());
}

void TEntity::EntityParent(const EntityPtr& new_parent, int global) {
  if (freed_ || (new_parent && new_parent->freed_)) return;
  // would make the entity its own ancestor
  if (new_parent && (new_parent.get() == this || new_parent->IsBelow(this))) return;

  // Read while the entity still answers as it stands: a bone let go of its skeleton
  // counts its scale from its local fields alone.
  const TVector gp = TVector::Create(EntityX(1), EntityY(1), EntityZ(1));
  const TVector gr = TVector::Create(EntityPitch(1), EntityYaw(1), EntityRoll(1));
  const TVector gs = WorldScale();
  if (!BeforeReparent(new_parent.get())) return;

  EntityPtr keep = shared_from_this();  // the old parent's list may hold the last reference
  LeaveParent();
  pos_x = gp.x, pos_y = gp.y, pos_z = -gp.z;
  pitch = -gr.x, yaw = gr.y, roll = gr.z;
  scale_x = gs.x, scale_y = gs.y, scale_z = gs.z;

  if (!new_parent) {
    UpdateMat(1);
  } else if (global == 1) {
    AddParent(new_parent);
    PositionEntity(gp.x, gp.y, gp.z, 1);
    RotateEntity(gr.x, gr.y, gr.z, 1);
    ScaleEntity(gs.x, gs.y, gs.z, 1);
  } else {
    AddParent(new_parent);
    UpdateMat(0);
  }
  MatrixMoved();
  if (!children.IsEmpty()) UpdateChildren(this);
}

void TEntity::EntityListAdd(List& list) {
  EntityPtr self = shared_from_this();
  List::LinkPtr link;
  if (order > 0) {
    // From the front: in front of the first entity whose order is not higher.
    List::Link* at = list.FirstLink();
    while (at && at->value->order > order) at = list.NextLink(at);
    link = list.InsertBeforeLink(self, at);
  } else {
    // From the back: behind the last entity whose order is not lower.
    List::Link* at = list.LastLink();
    while (at && at->value->order < order) at = list.PrevLink(at);
    link = list.InsertAfterLink(self, at);
  }
  if (&list == &entity_list) list_link = link;
}

void TEntity::EntityOrder(int new_order) {
  order = new_order;
  OrderChanged();
}

// ---- Pivot ------------------------------------------------------------------------

PivotPtr TPivot::CreatePivot(const EntityPtr& parent) {
  auto pivot = std::make_shared<TPivot>();
  pivot->Attach("Pivot", parent);
  return pivot;
}

EntityPtr TPivot::StartCopy() const { return std::make_shared<TPivot>(); }

void TPivot::FinishCopy(const EntityPtr& copy_entity, const EntityPtr& parent) const {
  auto* copy = static_cast<TPivot*>(copy_entity.get());
  copy->CopyBaseFields(*this);
  copy->PlaceCopy(parent);
}
