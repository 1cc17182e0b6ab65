#pragma once
#include <cstdint>
#include <string>

#include "shape/records.h"

struct TBitmap;
struct TVANE_Camera;
struct TVANE_Colors;
struct TVANE_Point3;
struct TVANE_ScreenPoint;
struct TVANE_ViewSettings;

// The shape library. Every operation is a member; none uses instance data:
// what they share is the library-level state of shape/state.h and the
// perspective projection state. Call them through the single instance VANE.
class TVANE {
public:
    // ---- reading (shape/reader.cpp) ----

    // Reads FileName into a new shape list and returns its first object; the
    // caller holds it and releases it with FreeSuf. Returns nullptr for a file
    // without any shape (SufErrorMessage empty) and for the three reported
    // errors (SufErrorMessage holds the text). Throws SufConvertError for a value
    // that is not a number and SufIOError when the file cannot be read; the
    // half-built list is released and the file closed on every way out.
    TVANE_Object* LoadSuf(const std::string& FileName);
    // Next token of the file with comments removed; "" at the end of the file.
    // A call after the end opens FileName again from its first line.
    std::string ReadToken(const std::string& FileName);
    // Next raw word of the file; "" at the end of the file. A call after the
    // end opens FileName again from its first line.
    std::string ReadWord(const std::string& FileName);
    // True for bytes 0..32 and the ten delimiters , ( ) { } [ ] ` " '.
    bool IsTokenDelimiter(unsigned char c);

    // ---- writing (shape/writer.cpp) ----

    // Writes Shape (nullptr gives an empty file) to FileName through a
    // temporary file renamed over the target. Returns false with a message in
    // SufErrorMessage on any failure; the target is then left as it was. A
    // shape with a value beyond the double range, or with an object or
    // attribute name that would read back as another name (a delimiter byte
    // before its last byte, a blank or control byte, a comment opened), is
    // refused so.
    bool SaveSuf(const std::string& FileName, TVANE_Object* Shape);

    // ---- list operations (shape/list.cpp) ----

    // Releases the whole shape list (shared attribute records once) and sets
    // Shape to nullptr. Accepts nullptr.
    void FreeSuf(TVANE_Object*& Shape);
    // Deep copy in the same order; each copied object gets an attribute list of
    // its own. nullptr for nullptr, and nullptr with SufErrorMessage set when
    // memory runs out (nothing leaked).
    TVANE_Object* CopySuf(TVANE_Object* Shape);
    // Record constructors: nullptr and SufErrorMessage set when memory runs out.
    TVANE_Object* NewSufObject(const std::string& Name);
    TVANE_Polygon* NewSufPolygon(const std::string& AttrName, std::uint8_t Kind, TVANE_Object* Obj);
    TVANE_Vertex* NewSufVertex(Extended X, Extended Y, Extended Z, Extended NX, Extended NY,
                               Extended NZ, Extended U, Extended V);
    // Front insertion.
    void InsertSufPolygon(TVANE_Object* Obj, TVANE_Polygon* Poly);
    void InsertSufVertex(TVANE_Polygon* Poly, TVANE_Vertex* Vtx);
    // Unlinks Poly from Obj's list and releases it with its vertices.
    void DeleteSufPolygon(TVANE_Object* Obj, TVANE_Polygon* Poly);
    // Recomputes Obj's six extents from its vertices; no vertex leaves them.
    // Accepts nullptr.
    void CalcSufExtents(TVANE_Object* Obj);

    // ---- views (view/) ----

    void DefaultViewColors(TVANE_Colors& Colors);
    void DefaultCamera(TVANE_Camera& Camera);
    void DefaultViewSettings(TVANE_ViewSettings& Settings);
    // Renders every object of Shape (may be nullptr) into Bitmap.
    void DrawSuf(TVANE_Object* Shape, TBitmap& Bitmap, const TVANE_ViewSettings& Settings,
                 const TVANE_Colors& Colors);
    void DrawSufObject(TVANE_Object* Object, TBitmap& Bitmap, const TVANE_ViewSettings& Settings,
                       const TVANE_Colors& Colors);
    // Refreshes every object's extents and writes into Fitted a copy of
    // Settings fitted to the whole list (view/fit.h tells the rules). Fitted
    // may be Settings itself; a nullptr Shape leaves it a copy of Settings.
    // Throws SufConvertError, leaving Fitted as it was, when the fitted
    // centre or eye lies beyond the double range.
    void FitView(TVANE_Object* Shape, const TVANE_ViewSettings& Settings,
                 TVANE_ViewSettings& Fitted);

    // ---- perspective view (geometry/) ----

    void SetPerspective(std::int32_t Width, std::int32_t Height, double FieldOfView);
    void SetNearPlane(Extended Value);
    TVANE_ScreenPoint ProjectPoint(const TVANE_Point3& P);
    void DrawClippedLine(TBitmap& Bitmap, const TVANE_Point3& A, const TVANE_Point3& B);
};

// The library's single instance.
extern TVANE* const VANE;
