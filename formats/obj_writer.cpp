#include <string>

#include "formats/export.h"
#include "shape/number.h"

namespace {

void AppendValues(std::string& out, const char* keyword, std::initializer_list<Extended> values) {
    out += keyword;
    for (Extended value : values) {
        char text[kMaxNumberText];
        const std::size_t n = FormatNumber(value, text);
        if (n == 0) throw TExportError("a value lies beyond the range a file can hold");
        out += ' ';
        out.append(text, n);
    }
    out += '\n';
}

}  // namespace

std::string ExportObj(const TVANE_Object* Shape) {
    std::string out = "# written by plivra\n";
    std::size_t positions = 0, normals = 0, uvs = 0;
    const TVANE_Attribute* written = nullptr;
    for (const TVANE_Object* obj = Shape; obj != nullptr; obj = obj->Next) {
        out += "o " + obj->Name + "\n";
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next) {
            if (poly->Vertices == nullptr) continue;
            // As in a shape file, a polygon without an attribute keeps the one before.
            if (poly->Attribute != nullptr && poly->Attribute != written) {
                written = poly->Attribute;
                out += "usemtl " + written->Name.Bytes() + "\n";
            }
            const bool shaded = poly->Kind == kKindShade || poly->Kind == kKindUvShade;
            const bool mapped = poly->Kind == kKindUvPoly || poly->Kind == kKindUvShade;
            std::string face = "f";
            for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) {
                AppendValues(out, "v", {v->X, v->Y, v->Z});
                face += ' ' + std::to_string(++positions);
                if (mapped) AppendValues(out, "vt", {v->U, v->V});
                if (shaded) AppendValues(out, "vn", {v->NX, v->NY, v->NZ});
                if (mapped) face += '/' + std::to_string(++uvs);
                if (shaded) face += (mapped ? "/" : "//") + std::to_string(++normals);
            }
            out += face + "\n";
        }
    }
    return out;
}
