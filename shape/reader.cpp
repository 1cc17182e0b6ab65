// Shape file reader: the statement parser of LoadSuf over the tokenizer.
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

#include "shape/arena.h"
#include "shape/extents.h"
#include "shape/kinds.h"
#include "shape/number.h"
#include "shape/state.h"
#include "shape/tokenizer.h"
#include "shape/vane.h"

namespace {

enum class Outcome { kEnd, kFormatError, kGrammarError };

// What one load builds. The list hangs from `result` as soon as a record
// exists, so whoever catches an exception can release it.
struct Parser {
    Parser(const std::string& name, TVANE_Object*& list) : file_name(name), result(list) {}

    const std::string& file_name;
    TVANE_Object*& result;
    std::string scratch;
    TVANE_Object* obj = nullptr;       // current object
    TVANE_Attribute* attr = nullptr;   // current attribute, kept across objects
    TVANE_Polygon* last_poly = nullptr;
    // Every value read is a double, so the box is kept in doubles (cheaper
    // than extended reals) and written to the object as it grows.
    TBoxGrowth<double> box;
    // Every attribute record of the load by name. Each object's list starts
    // as the previous object's list and only grows at its front, so the
    // current object's list holds exactly the records made so far; the index
    // finds them without walking a list that can be millions long.
    std::unordered_map<std::string_view, TVANE_Attribute*> attributes;
    TArenaOf<TVANE_Polygon> polygons;  // where this shape's records come from
    TArenaOf<TVANE_Vertex> vertices;

    std::string_view Token() { return NextToken(file_name, scratch); }

    // After "obj": returns the last token read.
    std::string_view Object(Outcome& outcome) {
        obj = AppendObject(result, obj);
        last_poly = nullptr;
        box = {};
        if (Token() != "suf") {
            outcome = Outcome::kFormatError;
            return {};
        }
        obj->Name = Token();
        return Token();  // "{" in a well-formed file
    }

    // After "atr": returns the attribute name.
    std::string_view Attribute() {
        std::string_view name = Token();
        auto found = attributes.find(name);
        TVANE_Attribute* a = found != attributes.end() ? found->second : nullptr;
        if (a == nullptr) {
            a = new TVANE_Attribute{obj->Attributes, std::string(name)};
            obj->Attributes = a;
            attributes.emplace(a->Name, a);
        }
        attr = a;
        return name;
    }

    // After "prim": reads the kind and the vertices up to ")".
    std::string_view Primitive() {
        auto* poly = polygons.New();
        poly->Prev = last_poly;
        poly->Attribute = attr;
        poly->Marked = 1;
        (last_poly != nullptr ? last_poly->Next : obj->Polygons) = poly;
        last_poly = poly;
        poly->Kind = KindOf(Token());
        Token();  // "(" in a well-formed file
        const TKindLayout& kind = kKinds[poly->Kind];
        TVANE_Vertex* last_vtx = nullptr;
        for (;;) {
            double value = 0;
            const bool plain = NextPlainValue(file_name, value);
            std::string_view t;
            if (!plain) {
                t = Token();
                if (t == ")") return t;
            }
            auto* v = vertices.New();
            v->Prev = last_vtx;
            v->Marked = 1;
            (last_vtx != nullptr ? last_vtx->Next : poly->Vertices) = v;
            last_vtx = v;
            double position[3];
            if (!plain) value = ToValue(t);
            for (std::size_t i = 0;;) {
                v->*kind.Fields[i] = value;
                if (i < 3) position[i] = value;
                if (++i == kind.Count) break;
                if (!NextPlainValue(file_name, value)) value = ToValue(Token());
            }
            if (box.Add(position[0], position[1], position[2])) box.WriteTo(*obj);
        }
    }

    // Statements are acted on by their keyword; every other token at
    // statement level is passed over.
    Outcome Run() {
        for (;;) {
            std::string_view t = Token();
            if (t == "obj") {
                Outcome outcome = Outcome::kEnd;
                t = Object(outcome);
                if (outcome != Outcome::kEnd) return outcome;
            } else if (t == "atr" || t == "prim") {
                if (obj == nullptr) return Outcome::kGrammarError;
                t = t == "atr" ? Attribute() : Primitive();
            }
            if (t.empty()) return Outcome::kEnd;
        }
    }
};


}  // namespace

TVANE_Object* TVANE::LoadSuf(const std::string& FileName) {
    SufErrorMessage.clear();
    EndSufFile();
    LineNumber = 0;
    TVANE_Object* result = nullptr;
    Outcome outcome = Outcome::kEnd;
    try {
        Parser parser(FileName, result);
        outcome = parser.Run();
    } catch (const std::bad_alloc&) {
        FreeSuf(result);
        EndSufFile();
        SetSufErrorMessage({std::to_string(LineNumber), "行目でメモリーが枯渇しました。"});
        return nullptr;
    } catch (...) {
        FreeSuf(result);
        EndSufFile();
        throw;
    }
    EndSufFile();
    switch (outcome) {
    case Outcome::kEnd: return result;
    case Outcome::kFormatError:
        SetSufErrorMessage({std::to_string(LineNumber), "行において未知の形式の形状ファイルです。"});
        break;
    case Outcome::kGrammarError:
        SetSufErrorMessage({"形状データの文法が", std::to_string(LineNumber), "行において変です。"});
        break;
    }
    FreeSuf(result);
    return nullptr;
}
