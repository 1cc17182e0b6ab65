// glTF 2.0 writer: the shape's values go into one buffer here; tinygltf
// writes the JSON and the binary container.
#include <tiny_gltf.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

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

    int AddIndices(const std::vector<std::uint32_t>& indices) {
        tinygltf::Accessor a;
        a.bufferView = AddView(indices.data(), indices.size() * sizeof(std::uint32_t), kElementArrayBuffer);
        a.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
        a.type = TINYGLTF_TYPE_SCALAR;
        a.count = indices.size();
        model.accessors.push_back(a);
        return static_cast<int>(model.accessors.size() - 1);
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
// differences.
struct TPrimitiveData {
    std::uint8_t kind = kKindPoly;
    const TVANE_Attribute* attribute = nullptr;
    bool normals = true;  // false once a zero normal turns up
    std::vector<float> positions, unit_normals, uvs;
    std::vector<std::vector<float>> target_positions, target_normals, target_uvs;
    std::vector<std::uint32_t> indices;
};

// Walks the start and, in step, every target, pairing vertices by position
// as the blend does; a missing partner is nullptr.
struct TPartners {
    std::vector<const TVANE_Object*> objects;
    std::vector<const TVANE_Polygon*> polygons;
    std::vector<const TVANE_Vertex*> vertices;
};

void AddVertex(const TVANE_Vertex& v, const std::vector<const TVANE_Vertex*>& partners, TPrimitiveData& p) {
    const bool shaded = p.kind == kKindShade || p.kind == kKindUvShade;
    const bool mapped = p.kind == kKindUvPoly || p.kind == kKindUvShade;
    const float base[3] = {ToFloat(v.X), ToFloat(v.Y), ToFloat(v.Z)};
    p.positions.insert(p.positions.end(), base, base + 3);
    float normal[3] = {0, 0, 0};
    if (shaded && !UnitNormal(v, normal)) p.normals = false;
    if (shaded) p.unit_normals.insert(p.unit_normals.end(), normal, normal + 3);
    if (mapped) {
        p.uvs.push_back(ToFloat(v.U));
        p.uvs.push_back(ToFloat(v.V));
    }
    for (std::size_t t = 0; t < partners.size(); ++t) {
        const TVANE_Vertex* w = partners[t];
        // Differences to the base as stored, so base + difference comes
        // nearest the target's value.
        const Extended target[3] = {w ? Extended(w->X) : Extended(base[0]), w ? Extended(w->Y) : Extended(base[1]),
                                    w ? Extended(w->Z) : Extended(base[2])};
        for (int c = 0; c < 3; ++c) p.target_positions[t].push_back(ToFloat(target[c] - base[c]));
        if (shaded) {
            float other[3] = {normal[0], normal[1], normal[2]};
            if (w != nullptr && !UnitNormal(*w, other)) std::memcpy(other, normal, sizeof other);
            for (int c = 0; c < 3; ++c) p.target_normals[t].push_back(other[c] - normal[c]);
        }
        if (mapped) {
            p.target_uvs[t].push_back(w ? ToFloat(w->U - Extended(p.uvs[p.uvs.size() - 2])) : 0.0f);
            p.target_uvs[t].push_back(w ? ToFloat(w->V - Extended(p.uvs.back())) : 0.0f);
        }
    }
}

tinygltf::Primitive WritePrimitive(TGltfBuilder& out, const TPrimitiveData& p) {
    tinygltf::Primitive prim;
    prim.mode = TINYGLTF_MODE_TRIANGLES;
    prim.attributes["POSITION"] = out.AddFloats(p.positions, TINYGLTF_TYPE_VEC3, 3, true, kArrayBuffer);
    const bool normals = !p.unit_normals.empty() && p.normals;
    if (normals) prim.attributes["NORMAL"] = out.AddFloats(p.unit_normals, TINYGLTF_TYPE_VEC3, 3, false, kArrayBuffer);
    if (!p.uvs.empty()) prim.attributes["TEXCOORD_0"] = out.AddFloats(p.uvs, TINYGLTF_TYPE_VEC2, 2, false, kArrayBuffer);
    prim.indices = out.AddIndices(p.indices);
    prim.material = out.Material(p.attribute);
    for (std::size_t t = 0; t < p.target_positions.size(); ++t) {
        std::map<std::string, int> target;
        target["POSITION"] = out.AddFloats(p.target_positions[t], TINYGLTF_TYPE_VEC3, 3, true, kArrayBuffer);
        if (normals)
            target["NORMAL"] = out.AddFloats(p.target_normals[t], TINYGLTF_TYPE_VEC3, 3, false, kArrayBuffer);
        if (!p.uvs.empty())
            target["TEXCOORD_0"] = out.AddFloats(p.target_uvs[t], TINYGLTF_TYPE_VEC2, 2, false, kArrayBuffer);
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
    for (const TGltfTarget& t : Targets) partners.objects.push_back(t.Shape);
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
            const auto first = static_cast<std::uint32_t>(data.positions.size() / 3);
            partners.vertices.resize(count);
            EnterPartners(partners.polygons, partners.vertices);
            for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next, StepPartners(partners.vertices))
                AddVertex(*v, partners.vertices, data);
            for (std::uint32_t k = 1; k + 1 < corners; ++k) {
                data.indices.push_back(first);
                data.indices.push_back(first + k);
                data.indices.push_back(first + k + 1);
            }
        }
        flush();
        if (mesh.primitives.empty()) continue;
        if (count > 0) {
            mesh.weights.assign(count, static_cast<double>(Animation.FromPercent / 100));
            tinygltf::Value::Array names, bytes;
            bool all_utf8 = true;
            for (const TGltfTarget& t : Targets) {
                names.emplace_back(NameText(t.Name));
                bytes.emplace_back(IsUtf8(t.Name) ? std::string() : Hex(t.Name));
                all_utf8 = all_utf8 && IsUtf8(t.Name);
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
