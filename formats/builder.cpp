#include "formats/builder.h"

#include <cassert>
#include <unordered_set>

#include "shape/number.h"
#include "shape/text.h"
#include "shape/vane.h"

void TShapeBuilder::BeginObject(std::string_view Name) {
    pending_name_ = SufName(Name, "default");
    new_object_ = true;
}

void TShapeBuilder::BeginPolygon(std::uint8_t Kind, std::string_view Attribute) {
    assert(Kind <= kKindUvShade);
    if (new_object_) {
        CloseObject();
        TVANE_Object* head = list_.get();
        obj_ = AppendObject(head, obj_);
        if (!list_) list_.reset(head);
        obj_->Name = pending_name_;
        poly_ = nullptr;
        new_object_ = false;
    }
    TVANE_Attribute* attr = nullptr;
    if (!Attribute.empty() && Attribute == last_attribute_) {
        attr = last_record_;  // the polygon before had the same attribute
    } else if (!Attribute.empty()) {
        std::string name = SufName(Attribute, "material");
        auto found = attributes_.find(name);
        if (found != attributes_.end()) {
            attr = found->second;
        } else {
            attr = new TVANE_Attribute{obj_->Attributes, name};
            obj_->Attributes = attr;
            attributes_.emplace(std::move(name), attr);
        }
        last_attribute_ = Attribute;
        last_record_ = attr;
    }
    TVANE_Polygon* p = polygons_.New();
    p->Prev = poly_;
    p->Attribute = attr;
    p->Kind = Kind;
    p->Marked = 1;
    (poly_ != nullptr ? poly_->Next : obj_->Polygons) = p;
    poly_ = p;
    vtx_ = nullptr;
    ++polygon_count_;
}

void TShapeBuilder::ExpectVertices(std::size_t More) const {
    if (More > vertex_limit_ - vertex_count_)
        throw TImportError("expands to more than " + std::to_string(vertex_limit_) + " vertices");
}

TVANE_Vertex* TShapeBuilder::NewVertex() {
    assert(poly_ != nullptr);
    ExpectVertices(1);
    ++vertex_count_;
    TVANE_Vertex* v = vertices_.New();
    v->Marked = 1;
    v->Prev = vtx_;
    (vtx_ != nullptr ? vtx_->Next : poly_->Vertices) = v;
    vtx_ = v;
    return v;
}

void TShapeBuilder::AddVertex(const TVANE_Vertex& Values) {
    TVANE_Vertex* v = NewVertex();
    v->X = Values.X, v->Y = Values.Y, v->Z = Values.Z;
    v->NX = Values.NX, v->NY = Values.NY, v->NZ = Values.NZ;
    v->U = Values.U, v->V = Values.V;
    all_doubles_ = false;
}

void TShapeBuilder::AddVertex(const double* Position, const double* Normal, const double* Uv) {
    TVANE_Vertex* v = NewVertex();
    v->X = Position[0], v->Y = Position[1], v->Z = Position[2];
    if (Normal != nullptr) v->NX = Normal[0], v->NY = Normal[1], v->NZ = Normal[2];
    if (Uv != nullptr) v->U = Uv[0], v->V = Uv[1];
    // Each double is exactly its extended value: the box is the one
    // CalcSufExtents would find, in the same order.
    box_.Add(Position[0], Position[1], Position[2]);
}

void TShapeBuilder::CloseObject() {
    if (obj_ != nullptr) {
        if (!all_doubles_)
            VANE->CalcSufExtents(obj_);
        else if (!box_.Empty())
            box_.WriteTo(*obj_);
    }
    box_ = {};
    all_doubles_ = true;
}

TVANE_Object* TShapeBuilder::Finish() {
    CloseObject();
    obj_ = nullptr;
    return list_.release();
}

std::string SufName(std::string_view Name, std::string_view Fallback) {
    if (Name.empty()) return std::string(Fallback);
    std::string out(Name);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        const bool delimiter =
            c <= 32 || std::string_view(",(){}[]`\"'").find(static_cast<char>(c)) != std::string_view::npos;
        const bool comment_mark =
            c == '*' && ((i > 0 && out[i - 1] == '/') || (i + 1 < out.size() && out[i + 1] == '/'));
        if (delimiter || comment_mark) out[i] = '_';
    }
    return out;
}

bool Writable(Extended Value) {
    char text[kMaxNumberText];
    return FormatNumber(Value, text) != 0;
}

std::string FileNamePart(std::string_view Bytes, std::string_view Fallback) {
    std::string text = NameText(Bytes);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127 || c == '/' || c == '\\') c = '_';
    if (text.empty() || text == "." || text == "..") return std::string(Fallback);
    return text;
}

void MakeUnique(std::vector<std::string>& Names) {
    std::unordered_set<std::string> taken;
    for (std::string& name : Names) {
        if (taken.insert(NameText(name)).second) continue;
        for (std::size_t n = 2;; ++n) {
            std::string next = name + "_" + std::to_string(n);
            if (taken.insert(NameText(next)).second) {
                name = std::move(next);
                break;
            }
        }
    }
}
