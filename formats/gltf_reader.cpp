// glTF 2.0 reader: tinygltf parses the JSON and the buffers; the accessors
// are read here, with every offset checked against its buffer.
#include <sys/stat.h>
#include <tiny_gltf.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "formats/import.h"
#include "shape/text.h"

namespace {

[[noreturn]] void Fail(const std::string& what) { throw TImportError(what); }

std::string AccessorName(int index) { return "accessor " + std::to_string(index); }

// The components of every element of accessor `index`, widened to double:
// floats as they are, normalized unsigned bytes and shorts scaled to 0..1
// when `normalized_ok`. Checks the type, the component type and that every
// element lies inside its buffer.
std::vector<double> ReadValues(const tinygltf::Model& model, int index, int type, bool normalized_ok) {
    if (index < 0 || static_cast<std::size_t>(index) >= model.accessors.size())
        Fail("a primitive refers to " + AccessorName(index) + ", which is not there");
    const tinygltf::Accessor& a = model.accessors[static_cast<std::size_t>(index)];
    if (a.type != type) Fail(AccessorName(index) + " has the wrong type");
    if (a.sparse.isSparse) Fail(AccessorName(index) + " is sparse, which is not read");
    std::size_t size = 0;
    double scale = 1;
    if (a.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT) {
        size = 4;
    } else if (normalized_ok && a.normalized && a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) {
        size = 1, scale = 255;
    } else if (normalized_ok && a.normalized && a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
        size = 2, scale = 65535;
    } else {
        Fail(AccessorName(index) + " has a component type that is not read");
    }
    const std::size_t components = type == TINYGLTF_TYPE_VEC3 ? 3 : 2;
    const std::size_t element = size * components;
    // Without a buffer view an accessor is all zeros, with nothing to bound
    // its count; only sparse accessors, which are not read either, need that.
    if (a.bufferView < 0) Fail(AccessorName(index) + " has no buffer view");
    if (static_cast<std::size_t>(a.bufferView) >= model.bufferViews.size())
        Fail(AccessorName(index) + " refers to a buffer view that is not there");
    const tinygltf::BufferView& view = model.bufferViews[static_cast<std::size_t>(a.bufferView)];
    if (view.buffer < 0 || static_cast<std::size_t>(view.buffer) >= model.buffers.size())
        Fail(AccessorName(index) + " refers to a buffer that is not there");
    const std::vector<unsigned char>& data = model.buffers[static_cast<std::size_t>(view.buffer)].data;
    const std::size_t stride = view.byteStride != 0 ? view.byteStride : element;
    const bool fits = view.byteOffset <= data.size() && view.byteLength <= data.size() - view.byteOffset &&
                      a.byteOffset <= view.byteLength && (a.count == 0 || element <= view.byteLength - a.byteOffset) &&
                      (a.count <= 1 || (a.count - 1) <= (view.byteLength - a.byteOffset - element) / stride);
    if (!fits) Fail(AccessorName(index) + " reaches beyond its buffer");
    std::vector<double> out(a.count * components, 0.0);
    const unsigned char* base = data.data() + view.byteOffset + a.byteOffset;
    for (std::size_t i = 0; i < a.count; ++i) {
        const unsigned char* p = base + i * stride;
        for (std::size_t c = 0; c < components; ++c) {
            double value = 0;
            if (size == 4) {
                float f = 0;
                std::memcpy(&f, p + 4 * c, 4);
                if (!std::isfinite(f)) Fail(AccessorName(index) + " holds a value that is not finite");
                value = f;
            } else if (size == 2) {
                std::uint16_t u = 0;
                std::memcpy(&u, p + 2 * c, 2);
                value = u / scale;
            } else {
                value = p[c] / scale;
            }
            out[i * components + c] = value;
        }
    }
    return out;
}

// The vertex numbers of a primitive: its index accessor, or 0, 1, 2, ...
std::vector<std::uint32_t> ReadIndices(const tinygltf::Model& model, const tinygltf::Primitive& prim,
                                       std::size_t vertices) {
    std::vector<std::uint32_t> out;
    if (prim.indices < 0) {
        out.resize(vertices);
        for (std::size_t i = 0; i < vertices; ++i) out[i] = static_cast<std::uint32_t>(i);
        return out;
    }
    const int index = prim.indices;
    if (static_cast<std::size_t>(index) >= model.accessors.size())
        Fail("a primitive refers to " + AccessorName(index) + ", which is not there");
    const tinygltf::Accessor& a = model.accessors[static_cast<std::size_t>(index)];
    std::size_t size = 0;
    switch (a.componentType) {
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: size = 1; break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: size = 2; break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: size = 4; break;
    default: Fail(AccessorName(index) + " holds indices of a type that is not read");
    }
    if (a.type != TINYGLTF_TYPE_SCALAR || a.sparse.isSparse || a.bufferView < 0 ||
        static_cast<std::size_t>(a.bufferView) >= model.bufferViews.size())
        Fail(AccessorName(index) + " is not a list of indices that is read");
    const tinygltf::BufferView& view = model.bufferViews[static_cast<std::size_t>(a.bufferView)];
    if (view.buffer < 0 || static_cast<std::size_t>(view.buffer) >= model.buffers.size())
        Fail(AccessorName(index) + " refers to a buffer that is not there");
    const std::vector<unsigned char>& data = model.buffers[static_cast<std::size_t>(view.buffer)].data;
    const bool fits = view.byteOffset <= data.size() && view.byteLength <= data.size() - view.byteOffset &&
                      a.byteOffset <= view.byteLength && a.count <= (view.byteLength - a.byteOffset) / size;
    if (!fits) Fail(AccessorName(index) + " reaches beyond its buffer");
    const unsigned char* base = data.data() + view.byteOffset + a.byteOffset;
    out.resize(a.count);
    for (std::size_t i = 0; i < a.count; ++i) {
        std::uint32_t v = 0;
        if (size == 1) {
            v = base[i];
        } else if (size == 2) {
            std::uint16_t s = 0;
            std::memcpy(&s, base + 2 * i, 2);
            v = s;
        } else {
            std::memcpy(&v, base + 4 * i, 4);
        }
        if (v >= vertices)
            Fail(AccessorName(index) + " names vertex " + std::to_string(v) + " of " + std::to_string(vertices));
        out[i] = v;
    }
    return out;
}

// The triangles of a primitive as vertex numbers, three per triangle, in the
// order the mode defines; empty for points and lines.
std::vector<std::uint32_t> Triangles(int mode, const std::vector<std::uint32_t>& v) {
    std::vector<std::uint32_t> out;
    const std::size_t n = v.size();
    if (mode == TINYGLTF_MODE_TRIANGLES || mode == -1) {
        out.assign(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n - n % 3));
    } else if (mode == TINYGLTF_MODE_TRIANGLE_STRIP) {
        // Every other triangle of a strip turns the other way round.
        for (std::size_t i = 0; i + 2 < n; ++i) {
            out.push_back(v[i]);
            out.push_back(v[i + 1 + i % 2]);
            out.push_back(v[i + 2 - i % 2]);
        }
    } else if (mode == TINYGLTF_MODE_TRIANGLE_FAN) {
        for (std::size_t i = 0; i + 2 < n; ++i) {
            out.push_back(v[i + 1]);
            out.push_back(v[i + 2]);
            out.push_back(v[0]);
        }
    }
    return out;
}

bool NoImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*) {
    return true;  // pictures are not part of a shape
}

bool Exists(const std::string& path, void*) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string SamePath(const std::string& path, void*) { return path; }

bool ReadExternal(std::vector<unsigned char>* out, std::string* err, const std::string& path, void* allowed) {
    if (allowed == nullptr) {
        if (err != nullptr) *err += "refers to the file '" + path + "', which is not read here\n";
        return false;
    }
    try {
        const std::string bytes = ReadFileBytes(path);
        out->assign(bytes.begin(), bytes.end());
        return true;
    } catch (const TImportError& error) {
        if (err != nullptr) *err += path + ": " + error.what() + "\n";
        return false;
    }
}

bool RefuseWrite(std::string*, const std::string&, const std::vector<unsigned char>&, void*) { return false; }

// The bytes of a mesh's or material's name: those a plivra export kept in
// extras.plivraNameBytes (two hex digits a byte) when they read as the name
// that stands in the file, otherwise that name.
std::string NameBytes(const std::string& name, const tinygltf::Value& extras) {
    if (!extras.IsObject() || !extras.Has("plivraNameBytes")) return name;
    const tinygltf::Value& kept = extras.Get("plivraNameBytes");
    if (!kept.IsString()) return name;
    const std::string& hex = kept.Get<std::string>();
    if (hex.size() % 2 != 0) return name;
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return name;
        bytes.push_back(static_cast<char>(high << 4 | low));
    }
    return NameText(bytes) == name ? bytes : name;
}

void AddPrimitive(const tinygltf::Model& model, const tinygltf::Primitive& prim, const std::string& name,
                  TShapeBuilder& builder) {
    const auto position = prim.attributes.find("POSITION");
    if (position == prim.attributes.end()) Fail("a primitive of " + name + " has no POSITION");
    const std::vector<double> positions = ReadValues(model, position->second, TINYGLTF_TYPE_VEC3, false);
    const std::size_t vertices = positions.size() / 3;
    std::vector<double> normals, uvs;
    if (auto it = prim.attributes.find("NORMAL"); it != prim.attributes.end())
        normals = ReadValues(model, it->second, TINYGLTF_TYPE_VEC3, false);
    if (auto it = prim.attributes.find("TEXCOORD_0"); it != prim.attributes.end())
        uvs = ReadValues(model, it->second, TINYGLTF_TYPE_VEC2, true);
    if ((!normals.empty() && normals.size() != positions.size()) || (!uvs.empty() && uvs.size() / 2 != vertices))
        Fail("the attributes of a primitive of " + name + " differ in length");
    std::string material;
    if (prim.material >= 0) {
        if (static_cast<std::size_t>(prim.material) >= model.materials.size())
            Fail("a primitive of " + name + " refers to a material that is not there");
        const tinygltf::Material& named = model.materials[static_cast<std::size_t>(prim.material)];
        material = NameBytes(named.name, named.extras);
        if (material.empty()) material = "material" + std::to_string(prim.material);
    }
    const std::uint8_t kind = !normals.empty() ? (!uvs.empty() ? kKindUvShade : kKindShade)
                                               : (!uvs.empty() ? kKindUvPoly : kKindPoly);
    const std::vector<std::uint32_t> corners = Triangles(prim.mode, ReadIndices(model, prim, vertices));
    builder.BeginObject(name);
    for (std::size_t i = 0; i < corners.size(); ++i) {
        if (i % 3 == 0) builder.BeginPolygon(kind, material);
        const std::size_t k = corners[i];
        TVANE_Vertex v;
        v.X = positions[3 * k], v.Y = positions[3 * k + 1], v.Z = positions[3 * k + 2];
        if (!normals.empty()) v.NX = normals[3 * k], v.NY = normals[3 * k + 1], v.NZ = normals[3 * k + 2];
        if (!uvs.empty()) v.U = uvs[2 * k], v.V = uvs[2 * k + 1];
        builder.AddVertex(v);
    }
}

// A little-endian 32-bit word of the binary container.
std::uint32_t Word(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// tinygltf trusts the chunk lengths of the binary container and reads past
// the end of a file whose last chunk claims more bytes than are left, so
// the container's frame is checked first: magic, version 2, the file's
// length, and every chunk, the JSON one first, within the file.
void CheckContainer(std::string_view bytes) {
    constexpr std::uint32_t kJsonChunk = 0x4E4F534A;  // "JSON"
    if (bytes.size() < 20 || bytes.substr(0, 4) != "glTF" || Word(bytes, 4) != 2 || Word(bytes, 8) != bytes.size() ||
        Word(bytes, 16) != kJsonChunk)
        Fail("is not a glTF binary container of version 2");
    for (std::size_t at = 12; at < bytes.size();) {
        if (bytes.size() - at < 8 || Word(bytes, at) > bytes.size() - at - 8) Fail("has a chunk that runs past its end");
        at += 8 + std::size_t{Word(bytes, at)};
    }
}

}  // namespace

TVANE_Object* ImportGltf(std::string_view Bytes, bool Binary, const std::string* BaseDir) {
    if (Bytes.size() > std::numeric_limits<unsigned int>::max()) Fail("is too large");
    if (Binary) CheckContainer(Bytes);
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(NoImage, nullptr);
    tinygltf::FsCallbacks fs{Exists, SamePath, ReadExternal, RefuseWrite,
                             const_cast<std::string*>(BaseDir)};
    loader.SetFsCallbacks(fs);
    tinygltf::Model model;
    std::string err, warn;
    const std::string base = BaseDir != nullptr ? *BaseDir : std::string();
    const auto length = static_cast<unsigned int>(Bytes.size());
    bool read = false;
    try {
        read = Binary ? loader.LoadBinaryFromMemory(&model, &err, &warn,
                                                    reinterpret_cast<const unsigned char*>(Bytes.data()), length,
                                                    base)
                      : loader.LoadASCIIFromString(&model, &err, &warn, Bytes.data(), length, base);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // The library indexes some lists of a damaged file with at() and
        // lets the exception out.
        Fail("is not a well-formed glTF file");
    }
    if (!read) {
        while (!err.empty() && (err.back() == '\n' || err.back() == '\r')) err.pop_back();
        for (char& c : err) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        Fail(err.empty() ? "not a glTF file" : err);
    }
    TShapeBuilder builder;
    for (std::size_t m = 0; m < model.meshes.size(); ++m) {
        const tinygltf::Mesh& mesh = model.meshes[m];
        const std::string name = mesh.name.empty() ? "mesh" + std::to_string(m) : NameBytes(mesh.name, mesh.extras);
        for (std::size_t p = 0; p < mesh.primitives.size(); ++p) {
            AddPrimitive(model, mesh.primitives[p],
                         mesh.primitives.size() == 1 ? name : name + "_" + std::to_string(p), builder);
        }
    }
    if (builder.Polygons() == 0) Fail("holds no triangle");
    return builder.Finish();
}
