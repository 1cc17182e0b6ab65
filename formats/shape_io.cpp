#include "formats/shape_io.h"

#include <sys/stat.h>

#include <exception>
#include <functional>

#include "formats/export.h"
#include "formats/import.h"
#include "shape/errors.h"
#include "shape/output.h"
#include "shape/state.h"

TLoadedShape LoadAnyShape(const std::string& FileName, bool TargetShapes, TSufSource* Source) {
    TLoadedShape out;
    auto fail = [&](std::string message) { out.Outcome = TFileOutcome(FileName, std::move(message)); };
    if (IsImportable(FileName)) {
        try {
            TImportedShapes read = ImportShapes(FileName, TargetShapes);
            out.Shape = std::move(read.Base);
            out.Targets = std::move(read.Targets);
        } catch (const TImportError& error) {
            fail(error.what());
            out.Raised = out.Outcome.Text();
        }
        return out;
    }
    try {
        out.Shape.reset(Source != nullptr ? LoadSufKeepingSource(FileName, *Source) : VANE->LoadSuf(FileName));
    } catch (const SufConvertError& error) {
        fail(error.what());
        out.Raised = error.what();
        return out;
    } catch (const SufIOError& error) {
        fail(error.what());
        out.Raised = error.what();
        return out;
    }
    if (!out.Shape)
        fail(SufErrorMessage.empty() ? "holds no shape (no obj, atr or prim statement)" : SufErrorMessage);
    return out;
}

TFileOutcome WriteAnyFile(const std::string& FileName, std::string_view Bytes) {
    try {
        WriteOutputFile(FileName, Bytes);
    } catch (const OutputError& failure) {
        return {FileName, SaveFailureText(FileName, failure.what())};
    }
    return {};
}

bool IsExportName(const std::string& FileName) {
    const std::string ext = LowerExtension(FileName);
    return ext == "obj" || ext == "gltf" || ext == "glb";
}

namespace {

// Extensions of formats read or drawn here but not written as a shape.
bool IsRefusedName(const std::string& FileName) {
    const std::string ext = LowerExtension(FileName);
    return ext == "ply" || ext == "stl" || ext == "png";
}

// What a save of a shape file (SAVE, which sets SufErrorMessage) came to.
TFileOutcome SufOutcome(const std::string& FileName, const std::function<bool()>& Save) {
    bool saved = false;
    try {
        saved = Save();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        return {FileName, error.what()};
    }
    return saved ? TFileOutcome() : TFileOutcome(FileName, SufErrorMessage);
}

}  // namespace

bool IsSufName(const std::string& FileName) { return !IsRefusedName(FileName) && !IsExportName(FileName); }

TFileOutcome SaveSufPlacedFile(const std::string& FileName, const TSufVertexLines& Lines,
                               std::span<const TPlacedObject> Objects, std::span<const TPlacedPolygon> Polygons) {
    return SufOutcome(FileName, [&] { return SaveSufPlaced(FileName, Lines, Objects, Polygons); });
}

TFileOutcome SaveAnyShape(const std::string& FileName, TVANE_Object* Shape) {
    if (IsRefusedName(FileName))
        return {FileName, "names a ." + LowerExtension(FileName) + " file, which is not written as a shape here; "
                          "write .suf, .obj, .gltf or .glb"};
    if (IsExportName(FileName)) return ExportShapes(FileName, Shape, {}, TGltfAnimation());
    return SaveSufFile(FileName, Shape);
}

TFileOutcome ExportShapes(const std::string& FileName, const TVANE_Object* Start,
                          const std::vector<TGltfTarget>& Targets, const TGltfAnimation& Animation) {
    const std::string ext = LowerExtension(FileName);
    const bool obj = ext == "obj";
    if (!obj && ext != "gltf" && ext != "glb") return {FileName, "is not a .glb, .gltf or .obj file"};
    if (obj && !Targets.empty()) return {FileName, "an OBJ file holds one shape and no morph targets"};
    std::string bytes;
    try {
        bytes = obj ? ExportObj(Start) : ExportGltf(Start, Targets, Animation, ext == "glb");
    } catch (const TExportError& error) {
        return {FileName, error.what()};
    }
    return WriteAnyFile(FileName, bytes);
}

TFileOutcome SaveSufFile(const std::string& FileName, TVANE_Object* Shape) {
    return SufOutcome(FileName, [&] { return VANE->SaveSuf(FileName, Shape); });
}


bool SameFile(const std::string& A, const std::string& B) {
    struct stat a {}, b {};
    return ::stat(A.c_str(), &a) == 0 && ::stat(B.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
