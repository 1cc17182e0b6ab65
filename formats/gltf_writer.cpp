// glTF 2.0 writer: the shape's values go into one buffer here; tinygltf
// writes the JSON and the binary container.
#include <tiny_gltf.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formats/builder.h"
#include "formats/export.h"
#include "shape/paired.h"
#include "shape/text.h"

namespace {

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;

// value rounded to the nearest float. Values from FLT_MAX up to half a step
// past it round to FLT_MAX (a value read from a float file and written to a
// shape file in fewer digits comes back a little beyond it); from there on,
// the tie included, rounding overflows.
float ToFloat(Extended value) {
    const Extended overflow = std::ldexp(Extended{1}, FLT_MAX_EXP) - std::ldexp(Extended{1}, FLT_MAX_EXP - FLT_MANT_DIG - 1);
    if (!std::isfinite(value) || std::fabs(value) >= overflow)
        throw TExportError("a value lies beyond single precision");
    if (std::fabs(value) > static_cast<Extended>(FLT_MAX)) return std::signbit(value) ? -FLT_MAX : FLT_MAX;
    return static_cast<float>(value);
}

// A name that is not UTF-8 goes into the file as NameText's reading of it,
// and its bytes, two lowercase hex digits each, into the extras of what it
// names, so that an import gives back the bytes themselves.
constexpr char kNameBytesKey[] = "plivraNameBytes";
// Beside extras.targetNames: per target its name's bytes, or "" where the
// name is UTF-8 (tinygltf writes no null into an array).
constexpr char kTargetNameBytesKey[] = "plivraTargetNameBytes";

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char b : bytes) {
        const auto c = static_cast<unsigned char>(b);
        hex.push_back(kDigits[c >> 4]);
        hex.push_back(kDigits[c & 15]);
    }
    return hex;
}

// Adds the member key: value to extras, an object or still null.
void AddExtra(tinygltf::Value& extras, const std::string& key, tinygltf::Value value) {
    tinygltf::Value::Object members;
    if (extras.IsObject()) members = extras.Get<tinygltf::Value::Object>();
    members[key] = std::move(value);
    extras = tinygltf::Value(std::move(members));
}

// Names a mesh, node or material after bytes.
void SetName(std::string& name, tinygltf::Value& extras, std::string_view bytes) {
    name = NameText(bytes);
    if (name != bytes) AddExtra(extras, kNameBytesKey, tinygltf::Value(Hex(bytes)));
}

// The normal of v at unit length, or false when it has none.
bool UnitNormal(const TVANE_Vertex& v, float (&out)[3]) {
    const Extended length = std::sqrt(v.NX * v.NX + v.NY * v.NY + v.NZ * v.NZ);
    if (!(length > 0) || !std::isfinite(length)) return false;
    out[0] = ToFloat(v.NX / length), out[1] = ToFloat(v.NY / length), out[2] = ToFloat(v.NZ / length);
    return true;
}

class TGltfBuilder {
public:
    tinygltf::Model model;

    // Adds values as an accessor of floats with its own buffer view;
    // returns the accessor's index. min and max are written when `bounds`.
    int AddFloats(const std::vector<float>& values, int type, int components, bool bounds, int target) {
        tinygltf::Accessor a;
        a.bufferView = AddView(values.data(), values.size() * sizeof(float), target);
        a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
        a.type = type;
        a.count = values.size() / static_cast<std::size_t>(components);
        if (bounds) {
            a.minValues.assign(static_cast<std::size_t>(components), HUGE_VAL);
            a.maxValues.assign(static_cast<std::size_t>(components), -HUGE_VAL);
            for (std::size_t i = 0; i < values.size(); ++i) {
                const std::size_t c = i % static_cast<std::size_t>(components);
                a.minValues[c] = std::min<double>(a.minValues[c], values[i]);
                a.maxValues[c] = std::max<double>(a.maxValues[c], values[i]);
            }
        }
        model.accessors.push_back(a);
        return static_cast<int>(model.accessors.size() - 1);
    }

    // Adds indices of vertices 0 .. vertices - 1 in the smallest type that
    // holds them without the largest value of the type (which restarts a
    // primitive in some readers).
    int AddIndices(const std::vector<std::uint32_t>& indices, std::size_t vertices) {
        tinygltf::Accessor a;
        a.componentType = IndexType(vertices);
        const std::vector<unsigned char> bytes = Packed(indices, a.componentType);
        a.bufferView = AddView(bytes.data(), bytes.size(), kElementArrayBuffer);
        a.type = TINYGLTF_TYPE_SCALAR;
        a.count = indices.size();
        model.accessors.push_back(a);
        return static_cast<int>(model.accessors.size() - 1);
    }

    // Adds a morph target's differences: sparse (the elements that are not
    // 0, over zeros) where that takes fewer bytes, else as AddFloats.
    int AddDifferences(const std::vector<float>& values, int type, int components, bool bounds) {
        const auto n = static_cast<std::size_t>(components);
        std::vector<std::uint32_t> moving;
        std::vector<float> moved;
        for (std::size_t i = 0; i < values.size() / n; ++i) {
            bool moves = false;
            for (std::size_t c = 0; c < n; ++c) moves = moves || values[i * n + c] != 0;
            if (!moves) continue;
            moving.push_back(static_cast<std::uint32_t>(i));
            moved.insert(moved.end(), values.begin() + static_cast<std::ptrdiff_t>(i * n),
                         values.begin() + static_cast<std::ptrdiff_t>((i + 1) * n));
        }
        if (moving.empty()) {  // a sparse accessor names one element at least
            moving.push_back(0);
            moved.assign(values.begin(), values.begin() + components);
        }
        const int index_type = IndexType(values.size() / n);
        const std::vector<unsigned char> indices = Packed(moving, index_type);
        // A sparse accessor also costs two buffer views and its own members
        // in the JSON: about this many bytes.
        constexpr std::size_t kSparseJsonBytes = 160;
        const std::size_t sparse_bytes = (indices.size() + 3) / 4 * 4 + moved.size() * sizeof(float) + kSparseJsonBytes;
        const int dense = AddFloats(values, type, components, bounds, kArrayBuffer);
        if (sparse_bytes >= values.size() * sizeof(float)) return dense;
        // Dense first for its bounds, then its data taken back out.
        tinygltf::Accessor& a = model.accessors[static_cast<std::size_t>(dense)];
        DropLastView();
        a.bufferView = -1;
        a.sparse.isSparse = true;
        a.sparse.count = static_cast<int>(moving.size());
        a.sparse.indices.bufferView = AddView(indices.data(), indices.size(), 0);
        a.sparse.indices.byteOffset = 0;
        a.sparse.indices.componentType = index_type;
        a.sparse.values.bufferView = AddView(moved.data(), moved.size() * sizeof(float), 0);
        a.sparse.values.byteOffset = 0;
        return dense;
    }

    int Material(const TVANE_Attribute* attribute) {
        if (attribute == nullptr) return -1;
        // By the bytes: two names may read as one text.
        for (std::size_t i = 0; i < material_names.size(); ++i)
            if (material_names[i] == attribute->Name.Bytes()) return static_cast<int>(i);
        tinygltf::Material m;
        SetName(m.name, m.extras, attribute->Name);
        model.materials.push_back(m);
        material_names.push_back(attribute->Name);
        return static_cast<int>(model.materials.size() - 1);
    }

private:
    std::vector<std::string> material_names;  // the bytes of each material's name

    static int IndexType(std::size_t vertices) {
        if (vertices <= 0xFF) return TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
        if (vertices <= 0xFFFF) return TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
        return TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
    }

    // indices as little-endian values of type.
    static std::vector<unsigned char> Packed(const std::vector<std::uint32_t>& indices, int type) {
        const std::size_t size = type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE    ? 1
                                 : type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ? 2
                                                                                  : 4;
        std::vector<unsigned char> out(indices.size() * size);
        for (std::size_t i = 0; i < indices.size(); ++i)
            for (std::size_t b = 0; b < size; ++b) out[i * size + b] = static_cast<unsigned char>(indices[i] >> (8 * b));
        return out;
    }

    // Takes the buffer view added last, and its bytes, out again.
    void DropLastView() {
        model.buffers[0].data.resize(model.bufferViews.back().byteOffset);
        model.bufferViews.pop_back();
    }

    int AddView(const void* data, std::size_t bytes, int target) {
        if (model.buffers.empty()) model.buffers.emplace_back();
        std::vector<unsigned char>& buffer = model.buffers[0].data;
        buffer.resize((buffer.size() + 3) / 4 * 4, 0);  // every view starts 4-aligned
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = buffer.size();
        view.byteLength = bytes;
        view.target = target;
        const auto* p = static_cast<const unsigned char*>(data);
        buffer.insert(buffer.end(), p, p + bytes);
        model.bufferViews.push_back(view);
        return static_cast<int>(model.bufferViews.size() - 1);
    }
};

// What one primitive gathers: the base values and, per target, the
// differences, once per distinct corner, and the triangles' corners.
struct TPrimitiveData {
    std::uint8_t kind = kKindPoly;
    const TVANE_Attribute* attribute = nullptr;
    bool normals = true;  // false once a zero normal turns up
    std::vector<float> positions, unit_normals, uvs;
    std::vector<std::vector<float>> target_positions, target_normals, target_uvs;
    std::vector<std::uint32_t> indices;
    // Every value of a vertex, base and targets, as bytes: corners that
    // agree in all of them are one glTF vertex.
    std::unordered_map<std::string, std::uint32_t> vertices;
    std::vector<float> key;
};

// Walks the start and, in step, every target, pairing vertices by position
// as the blend does; a missing partner is nullptr.
struct TPartners {
    std::vector<const TVANE_Object*> objects;
    std::vector<const TVANE_Polygon*> polygons;
    std::vector<const TVANE_Vertex*> vertices;
};

// Appends n values of key from at to out; at moves past them.
void Take(const std::vector<float>& key, std::size_t& at, std::size_t n, std::vector<float>& out) {
    out.insert(out.end(), key.begin() + static_cast<std::ptrdiff_t>(at), key.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
}

// The glTF vertex of corner v (and its partners in the targets, nullptr
// where a target has none): the one added before with all its values, or a
// new one.
std::uint32_t AddVertex(const TVANE_Vertex& v, const std::vector<const TVANE_Vertex*>& partners, TPrimitiveData& p) {
    const bool shaded = p.kind == kKindShade || p.kind == kKindUvShade;
    const bool mapped = p.kind == kKindUvPoly || p.kind == kKindUvShade;
    std::vector<float>& key = p.key;
    key.clear();
    const float base[3] = {ToFloat(v.X), ToFloat(v.Y), ToFloat(v.Z)};
    key.insert(key.end(), base, base + 3);
    float normal[3] = {0, 0, 0};
    if (shaded && !UnitNormal(v, normal)) p.normals = false;
    if (shaded) key.insert(key.end(), normal, normal + 3);
    // Textures have their origin at the bottom left in a shape file (as in
    // OBJ), at the top left in glTF.
    const float uv[2] = {mapped ? ToFloat(v.U) : 0.0f, mapped ? ToFloat(Extended{1} - v.V) : 0.0f};
    if (mapped) key.insert(key.end(), uv, uv + 2);
    // A difference to the base as stored, so base + difference comes nearest
    // the target's value; 0 where the target has the start's own value.
    const auto difference = [](Extended target, Extended start, float stored) {
        return target == start ? 0.0f : ToFloat(target - Extended(stored));
    };
    for (const TVANE_Vertex* w : partners) {
        const TVANE_Vertex& t = w != nullptr ? *w : v;
        key.push_back(difference(t.X, v.X, base[0]));
        key.push_back(difference(t.Y, v.Y, base[1]));
        key.push_back(difference(t.Z, v.Z, base[2]));
        if (shaded) {
            float other[3] = {normal[0], normal[1], normal[2]};
            if (w != nullptr && !UnitNormal(*w, other)) std::memcpy(other, normal, sizeof other);
            for (int c = 0; c < 3; ++c) key.push_back(other[c] - normal[c]);
        }
        if (mapped) {
            key.push_back(difference(t.U, v.U, uv[0]));
            key.push_back(difference(Extended{1} - t.V, Extended{1} - v.V, uv[1]));
        }
    }
    const auto fresh = static_cast<std::uint32_t>(p.positions.size() / 3);
    const auto [found, added] =
        p.vertices.try_emplace(std::string(reinterpret_cast<const char*>(key.data()), key.size() * sizeof(float)), fresh);
    if (!added) return found->second;
    std::size_t at = 0;
    Take(key, at, 3, p.positions);
    if (shaded) Take(key, at, 3, p.unit_normals);
    if (mapped) Take(key, at, 2, p.uvs);
    for (std::size_t t = 0; t < partners.size(); ++t) {
        Take(key, at, 3, p.target_positions[t]);
        if (shaded) Take(key, at, 3, p.target_normals[t]);
        if (mapped) Take(key, at, 2, p.target_uvs[t]);
    }
    return fresh;
}

tinygltf::Primitive WritePrimitive(TGltfBuilder& out, const TPrimitiveData& p) {
    tinygltf::Primitive prim;
    prim.mode = TINYGLTF_MODE_TRIANGLES;
    prim.attributes["POSITION"] = out.AddFloats(p.positions, TINYGLTF_TYPE_VEC3, 3, true, kArrayBuffer);
    const bool normals = !p.unit_normals.empty() && p.normals;
    if (normals) prim.attributes["NORMAL"] = out.AddFloats(p.unit_normals, TINYGLTF_TYPE_VEC3, 3, false, kArrayBuffer);
    if (!p.uvs.empty()) prim.attributes["TEXCOORD_0"] = out.AddFloats(p.uvs, TINYGLTF_TYPE_VEC2, 2, false, kArrayBuffer);
    prim.indices = out.AddIndices(p.indices, p.positions.size() / 3);
    prim.material = out.Material(p.attribute);
    for (std::size_t t = 0; t < p.target_positions.size(); ++t) {
        std::map<std::string, int> target;
        target["POSITION"] = out.AddDifferences(p.target_positions[t], TINYGLTF_TYPE_VEC3, 3, true);
        if (normals) target["NORMAL"] = out.AddDifferences(p.target_normals[t], TINYGLTF_TYPE_VEC3, 3, false);
        if (!p.uvs.empty()) target["TEXCOORD_0"] = out.AddDifferences(p.target_uvs[t], TINYGLTF_TYPE_VEC2, 2, false);
        prim.targets.push_back(target);
    }
    return prim;
}

}  // namespace

std::string ExportGltf(const TVANE_Object* Start, const std::vector<TGltfTarget>& Targets,
                       const TGltfAnimation& Animation, bool Binary) {
    const std::size_t count = Targets.size();
    TGltfBuilder out;
    out.model.asset.version = "2.0";
    out.model.asset.generator = "plivra";
    TPartners partners;
    partners.objects.reserve(count);
    for (const TGltfTarget& t : Targets) partners.objects.push_back(t.Shape);
    std::vector<std::string> target_names;
    target_names.reserve(count);
    for (const TGltfTarget& t : Targets) target_names.push_back(t.Name);
    MakeUnique(target_names);
    std::vector<std::uint32_t> fan_vertices;
    for (const TVANE_Object* obj = Start; obj != nullptr; obj = obj->Next, StepPartners(partners.objects)) {
        tinygltf::Mesh mesh;
        SetName(mesh.name, mesh.extras, obj->Name);
        TPrimitiveData data;
        auto flush = [&] {
            if (!data.indices.empty()) mesh.primitives.push_back(WritePrimitive(out, data));
        };
        partners.polygons.resize(count);
        EnterPartners(partners.objects, partners.polygons);
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr;
             poly = poly->Next, StepPartners(partners.polygons)) {
            std::size_t corners = 0;
            for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) ++corners;
            if (corners < 3) continue;
            // A kind beyond the four is a plain polygon, as the reader reads one.
            const std::uint8_t kind = poly->Kind <= kKindUvShade ? poly->Kind : std::uint8_t{kKindPoly};
            if (kind != data.kind || poly->Attribute != data.attribute || data.target_positions.size() != count) {
                flush();
                data = TPrimitiveData();
                data.kind = kind;
                data.attribute = poly->Attribute;
                data.target_positions.resize(count);
                data.target_normals.resize(count);
                data.target_uvs.resize(count);
            }
            partners.vertices.resize(count);
            EnterPartners(partners.polygons, partners.vertices);
            std::vector<std::uint32_t>& fan = fan_vertices;
            fan.clear();
            for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next, StepPartners(partners.vertices))
                fan.push_back(AddVertex(*v, partners.vertices, data));
            for (std::size_t k = 1; k + 1 < corners; ++k) {
                data.indices.push_back(fan[0]);
                data.indices.push_back(fan[k]);
                data.indices.push_back(fan[k + 1]);
            }
        }
        flush();
        if (mesh.primitives.empty()) continue;
        if (count > 0) {
            mesh.weights.assign(count, static_cast<double>(Animation.FromPercent / 100));
            tinygltf::Value::Array names, bytes;
            bool all_utf8 = true;
            for (const std::string& name : target_names) {
                names.emplace_back(NameText(name));
                bytes.emplace_back(IsUtf8(name) ? std::string() : Hex(name));
                all_utf8 = all_utf8 && IsUtf8(name);
            }
            AddExtra(mesh.extras, "targetNames", tinygltf::Value(names));
            if (!all_utf8) AddExtra(mesh.extras, kTargetNameBytesKey, tinygltf::Value(bytes));
        }
        out.model.meshes.push_back(mesh);
        tinygltf::Node node;
        SetName(node.name, node.extras, obj->Name);
        node.mesh = static_cast<int>(out.model.meshes.size() - 1);
        out.model.nodes.push_back(node);
    }
    if (out.model.meshes.empty()) throw TExportError("holds no polygon of three corners or more");

    tinygltf::Scene scene;
    for (std::size_t i = 0; i < out.model.nodes.size(); ++i) scene.nodes.push_back(static_cast<int>(i));
    out.model.scenes.push_back(scene);
    out.model.defaultScene = 0;

    if (count > 0) {
        const float from = ToFloat(Animation.FromPercent / 100), to = ToFloat(Animation.ToPercent / 100);
        std::vector<float> weights(count, from);
        weights.insert(weights.end(), count, to);
        const int input = out.AddFloats({0.0f, static_cast<float>(Animation.Seconds)}, TINYGLTF_TYPE_SCALAR, 1,
                                        true, 0);
        const int output = out.AddFloats(weights, TINYGLTF_TYPE_SCALAR, 1, false, 0);
        tinygltf::Animation animation;
        animation.name = "blend";
        for (std::size_t n = 0; n < out.model.nodes.size(); ++n) {
            tinygltf::AnimationSampler sampler;
            sampler.input = input;
            sampler.output = output;
            sampler.interpolation = "LINEAR";
            animation.samplers.push_back(sampler);
            tinygltf::AnimationChannel channel;
            channel.sampler = static_cast<int>(n);
            channel.target_node = static_cast<int>(n);
            channel.target_path = "weights";
            animation.channels.push_back(channel);
        }
        out.model.animations.push_back(animation);
    }
    out.model.buffers[0].data.resize((out.model.buffers[0].data.size() + 3) / 4 * 4, 0);

    tinygltf::TinyGLTF writer;
    std::ostringstream bytes;
    if (!writer.WriteGltfSceneToStream(&out.model, bytes, false, Binary))
        throw TExportError("the glTF writer failed");
    return bytes.str();
}
