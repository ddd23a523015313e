// Shared pieces of the model reader and mesh loading tests: a fixture that saves a
// writer's bytes to a temporary file and loads them, and small model builders.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/loader/b3d_reader.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "platform/runtime.h"
#include "tools/b3d_writer.h"
#include "support/engine_reset.h"

class LoaderTest : public EngineTest {
 protected:
  // The models name textures that do not exist; their "cannot find" messages are noise.
  void SetUp() override {
    EngineTest::SetUp();
    SetDebugSink([](const std::string&) {});
  }
  void TearDown() override {
    SetDebugSink(nullptr);
    EngineTest::TearDown();
  }
  // A temp path unique to this test.
  static std::string PathFor(const std::string& file) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return TestTempPath(std::string(info->test_suite_name()) + "_" + info->name() + "_" + file);
  }
  // Finishes the writer, saves it and loads the file.
  static MeshPtr Load(TB3dWriter& w, const EntityPtr& parent = nullptr) {
    return TModel::LoadAnimB3D(Save(w), parent);
  }
  static std::string Save(TB3dWriter& w, const std::string& file = "model.b3d") {
    const std::string path = PathFor(file);
    EXPECT_TRUE(w.Finish().Save(path));
    return path;
  }
  static TModelParts Parts(TB3dWriter& w) { return TModel::LoadB3DFromMemory(w.Finish().Bytes(), nullptr); }
  // The fatal message of a load, or "" when it returned.
  static std::string FatalOf(const std::vector<uint8_t>& bytes) {
    try {
      TModel::LoadB3DFromMemory(bytes, nullptr);
    } catch (const FatalError& e) {
      return e.what();
    }
    return "";
  }
};

// Three vertices in the x-y plane, one uv set of size 2: x, y, z, u, v each.
inline std::vector<float> TriangleVertices(float dz = 0) {
  return {0, 0, dz, 0, 0, 1, 0, dz, 1, 0, 0, 1, dz, 0, 1};
}

// A mesh body: MESH with the brush, VRTS of one triangle, TRIS with the brush. The
// caller opens the node around it and closes both.
inline TB3dWriter& TriangleMesh(TB3dWriter& w, int mesh_brush = -1, int tris_brush = -1) {
  return w.BeginMesh(mesh_brush).Vrts(0, 1, 2, TriangleVertices()).Tris(tris_brush, {0, 1, 2});
}

inline const TSurface& SurfaceOf(const MeshPtr& mesh, int index = 1) { return *mesh->GetSurface(index); }
