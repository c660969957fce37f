#pragma once
// Object meshes loaded from mesh files (format in mesh_format.h) into static
// vertex and index buffers, shared by their full path with a reference count.
#include "containers/dyn_array.h"
#include "device/d3d_render.h"

struct VertexBuffer;
struct IndexBuffer;

struct ShadowBall {
  float x, y, z, radius;
};

struct MeshTextureName {
  char name[64];
};

struct Mesh {
  VertexBuffer* vb = nullptr;
  IndexBuffer* ib = nullptr;
  int numVerts = 0;
  int vertStride = 0;
  int numFaces = 0;
  DynArray<VertexElement> vsd;  // the vertex elements, without the end record
  char shaderLow[256] = {};
  char shaderHigh[256] = {};
  DynArray<MeshTextureName> textures;
  char path[260] = {};
  DynArray<ShadowBall> balls;
  int refs = 0;
};

// Returns the mesh of a file, loading it on first use (path relative to the
// program's directory). Never returns null: a file that cannot be read ends
// the program, with the detailed message when `required` is set.
Mesh* load_mesh(const char* path, bool required);
// Drops one reference; the last frees the buffers and the record.
void release_mesh(Mesh* m);
// Frees every loaded mesh (shutdown).
void close_all_meshes();
int get_mesh_count();

// Parses a whole mesh file image into a record with its buffers created.
// Throws InputStream::Exception with the file position of the bad field (-1
// for a bad version). Exposed for the tests.
Mesh* parse_mesh_image(const uint8_t* data, int size);
// Checks a whole mesh file image as parse_mesh_image does, throwing the same
// exceptions, but makes no buffers (needs no device): for the fuzz tests.
void check_mesh_image(const uint8_t* data, int size);
