// Feeds arbitrary bytes to LoadSuf through a file and checks every shape it
// returns: links at all three levels, attribute reachability and sharing,
// extents, reloading, copying, and (with the writer) a stable write-read-write.
// Leaks are left to LeakSanitizer, which libFuzzer runs after each input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "shape/arena.h"
#include "shape/errors.h"
#include "shape/number.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "shape/probes.h"

namespace {

std::string g_dir;

#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

bool Reachable(const TVANE_Attribute* head, const TVANE_Attribute* a) {
    for (; head != nullptr; head = head->Next) {
        if (head == a) return true;
    }
    return false;
}

bool BitEqual(Extended a, Extended b) { return std::memcmp(&a, &b, 10) == 0; }

// Links, kinds, flags and extents of a list as the reader builds it.
void CheckReadShape(TVANE_Object* shape) {
    const TVANE_Object* prev_obj = nullptr;
    for (TVANE_Object* o = shape; o != nullptr; prev_obj = o, o = o->Next) {
        FUZZ_CHECK(o->Prev == prev_obj);
        // The reader starts each object's list as the previous object's list.
        if (prev_obj != nullptr) {
            const TVANE_Attribute* a = o->Attributes;
            while (a != nullptr && a != prev_obj->Attributes) a = a->Next;
            FUZZ_CHECK(a == prev_obj->Attributes);
        }
        std::set<std::string> names;
        for (const TVANE_Attribute* a = o->Attributes; a != nullptr; a = a->Next) {
            FUZZ_CHECK(names.insert(a->Name).second);  // a name once per list
        }
        bool any_vertex = false;
        const TVANE_Polygon* prev_poly = nullptr;
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; prev_poly = p, p = p->Next) {
            FUZZ_CHECK(p->Prev == prev_poly);
            FUZZ_CHECK(p->Kind <= kKindUvShade);
            FUZZ_CHECK(p->Marked == 1);
            FUZZ_CHECK(p->Attribute == nullptr || Reachable(o->Attributes, p->Attribute));
            const TVANE_Vertex* prev_v = nullptr;
            for (const TVANE_Vertex* v = p->Vertices; v != nullptr; prev_v = v, v = v->Next) {
                FUZZ_CHECK(v->Prev == prev_v);
                FUZZ_CHECK(v->Marked == 1);
                if (p->Kind == kKindPoly || p->Kind == kKindUvPoly) {
                    FUZZ_CHECK(v->NX == 0 && v->NY == 0 && v->NZ == 0);
                }
                if (p->Kind == kKindPoly || p->Kind == kKindShade) {
                    FUZZ_CHECK(v->U == 0 && v->V == 0);
                }
                any_vertex = true;
            }
        }
        Extended box[6] = {o->MinX, o->MinY, o->MinZ, o->MaxX, o->MaxY, o->MaxZ};
        if (!any_vertex) {
            for (Extended e : box) FUZZ_CHECK(BitEqual(e, 0.0L));
        }
        VANE->CalcSufExtents(o);
        Extended again[6] = {o->MinX, o->MinY, o->MinZ, o->MaxX, o->MaxY, o->MaxZ};
        for (int i = 0; i < 6; ++i) FUZZ_CHECK(BitEqual(box[i], again[i]));
    }
}

// Everything a list says but the vertices' Marked flags, values bit for bit,
// attributes by name.
std::string Dump(const TVANE_Object* shape) {
    std::string out;
    for (const TVANE_Object* o = shape; o != nullptr; o = o->Next) {
        out += "obj " + std::to_string(o->Name.size()) + ":" + o->Name + "\n";
        for (const TPackedExtended* e : {&o->MinX, &o->MinY, &o->MinZ, &o->MaxX, &o->MaxY, &o->MaxZ}) {
            out.append(reinterpret_cast<const char*>(e), 10);
        }
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next) {
            out += "prim " + std::to_string(p->Kind) + " " + std::to_string(p->Marked) + " ";
            out += p->Attribute != nullptr
                       ? std::to_string(p->Attribute->Name.size()) + ":" + p->Attribute->Name.Bytes()
                       : std::string("-");
            out += "\n";
            for (const TVANE_Vertex* v = p->Vertices; v != nullptr; v = v->Next) {
                for (const TPackedExtended* e : {&v->X, &v->Y, &v->Z, &v->NX, &v->NY, &v->NZ, &v->U, &v->V}) {
                    out.append(reinterpret_cast<const char*>(e), 10);
                }
            }
        }
    }
    return out;
}

// A copy has the source's content and, per object, an attribute list of its
// own holding exactly the names its polygons use.
void CheckCopy(TVANE_Object* shape) {
    TVANE_Object* copy = VANE->CopySuf(shape);
    FUZZ_CHECK(copy != nullptr);
    FUZZ_CHECK(Dump(copy) == Dump(shape));
    std::set<const TVANE_Attribute*> seen;
    const TVANE_Object* prev_obj = nullptr;
    for (const TVANE_Object* o = copy; o != nullptr; prev_obj = o, o = o->Next) {
        FUZZ_CHECK(o->Prev == prev_obj);
        std::set<std::string> used, listed;
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next) {
            for (const TVANE_Vertex* v = p->Vertices; v != nullptr; v = v->Next) {
                FUZZ_CHECK(v->Marked == 0);  // made by NewSufVertex
            }
            if (p->Attribute == nullptr) continue;
            FUZZ_CHECK(Reachable(o->Attributes, p->Attribute));
            used.insert(p->Attribute->Name);
        }
        for (const TVANE_Attribute* a = o->Attributes; a != nullptr; a = a->Next) {
            FUZZ_CHECK(seen.insert(a).second);  // no record shared between objects
            FUZZ_CHECK(listed.insert(a->Name).second);
        }
        FUZZ_CHECK(used == listed);
    }
    VANE->FreeSuf(copy);
    FUZZ_CHECK(copy == nullptr);
}

#ifdef PLIVRA_FUZZ_WRITER
std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether a name, alone in a file, is read as exactly one token: itself.
// That is what reading it back after "obj suf " or "atr " gives.
bool ReadsBack(const std::string& name) {
    const std::string path = g_dir + "/name.suf";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << name << "\r\n";
    }
    std::vector<std::string> tokens;
    for (std::string t; !(t = VANE->ReadToken(path)).empty();) tokens.push_back(t);
    return tokens.size() == 1 && tokens[0] == name;
}

// Whether every name is written and read back as itself (`names`; an empty
// one is written but never reads back), whether the writer must refuse a
// name, and whether every value has a text that reads back (a value next to
// the largest double can round beyond it).
void Writable(const TVANE_Object* shape, bool& names, bool& refused, bool& values) {
    names = values = true;
    refused = false;
    char text[kMaxNumberText];
    const auto note = [&](const std::string& name) {
        const bool back = !name.empty() && ReadsBack(name);
        names = names && back;
        refused = refused || (!name.empty() && !back);
    };
    for (const TVANE_Object* o = shape; o != nullptr; o = o->Next) {
        note(o->Name);
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next) {
            if (p->Attribute != nullptr) note(p->Attribute->Name);
            for (const TVANE_Vertex* v = p->Vertices; v != nullptr; v = v->Next) {
                for (Extended e : {v->X, v->Y, v->Z, v->NX, v->NY, v->NZ, v->U, v->V}) {
                    values = values && FormatNumber(e, text) > 0;
                }
            }
        }
    }
}

// Written once, read back and written again, the bytes stay the same; a copy
// is written as its source. A shape that cannot be written is refused with a
// message and leaves no file.
void CheckWrite(TVANE_Object* shape) {
    const std::string first_path = g_dir + "/first.suf";
    const std::string second_path = g_dir + "/second.suf";
    bool names = false, refused = false, values = false;
    Writable(shape, names, refused, values);
    if (!values || refused) {
        FUZZ_CHECK(!VANE->SaveSuf(first_path, shape));
        FUZZ_CHECK(!SufErrorMessage.empty());
        FUZZ_CHECK(access(first_path.c_str(), F_OK) != 0);
        return;
    }
    FUZZ_CHECK(VANE->SaveSuf(first_path, shape));
    FUZZ_CHECK(SufErrorMessage.empty());
    const std::string first = ReadBytes(first_path);

    TVANE_Object* copy = VANE->CopySuf(shape);
    FUZZ_CHECK(VANE->SaveSuf(second_path, copy));
    VANE->FreeSuf(copy);
    FUZZ_CHECK(ReadBytes(second_path) == first);

    if (names) {
        TVANE_Object* reread = VANE->LoadSuf(first_path);
        FUZZ_CHECK(reread != nullptr && SufErrorMessage.empty());
        FUZZ_CHECK(VANE->SaveSuf(second_path, reread));
        VANE->FreeSuf(reread);
        FUZZ_CHECK(ReadBytes(second_path) == first);
    }
    std::remove(first_path.c_str());
    std::remove(second_path.c_str());
}
#endif

bool IsReportedError(const std::string& message) {
    auto ends_with = [&](std::string_view tail) {
        return message.size() >= tail.size() &&
               message.compare(message.size() - tail.size(), tail.size(), tail) == 0;
    };
    return ends_with("行において未知の形式の形状ファイルです。") ||
           (message.rfind("形状データの文法が", 0) == 0 && ends_with("行において変です。"));
}

constexpr std::size_t kWindowBytes = std::size_t{1} << 20;

// One load: the dump of what came back, the message, or the exception's
// text, and the line count it ended on. `plain` chooses whether lone vertex
// values are read straight from the line or as tokens, `window` the bytes
// of the reader's window, `piece` (when not 0) that the file is read in
// pieces of about that many bytes, as on several cores.
std::string LoadOnce(const std::string& path, TVANE_Object*& shape, bool plain,
                     std::size_t window = kWindowBytes, std::size_t piece = 0) {
    shape = nullptr;
    SufPlainValues = plain;
    SufWindowBytes = window;
    const std::size_t core_bytes = SufCoreReadBytes, piece_bytes = SufReadPieceBytes;
    if (piece != 0) {
        SufCoreReadBytes = 0;
        SufReadPieceBytes = piece;
    }
    struct Restore {
        std::size_t core_bytes, piece_bytes;
        ~Restore() {
            SufPlainValues = true;
            SufWindowBytes = kWindowBytes;
            SufCoreReadBytes = core_bytes;
            SufReadPieceBytes = piece_bytes;
        }
    } restore{core_bytes, piece_bytes};
    try {
        shape = VANE->LoadSuf(path);
    } catch (const SufConvertError& e) {
        FUZZ_CHECK(SufErrorMessage.empty());
        FUZZ_CHECK(!SufFileOpen);
        return std::string("convert: ") + e.what() + " at line " + std::to_string(LineNumber);
    }
    FUZZ_CHECK(!SufFileOpen);
    if (shape == nullptr) {
        FUZZ_CHECK(SufErrorMessage.empty() || IsReportedError(SufErrorMessage));
        return "nothing: " + SufErrorMessage;
    }
    FUZZ_CHECK(SufErrorMessage.empty());
    return Dump(shape) + "at line " + std::to_string(LineNumber);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VANE_SourceInitialize();
    // Saving syncs the file to disk; in memory that costs nothing.
    const char* tmp = std::getenv("TMPDIR");
    if (tmp == nullptr) tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(tmp) + "/plivra-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    g_dir = pattern;
    std::atexit([] {
        for (const char* name : {"/in.suf", "/first.suf", "/second.suf", "/name.suf"}) {
            std::remove((g_dir + name).c_str());
        }
        rmdir(g_dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = g_dir + "/in.suf";
    WriteBytes(path, data, size);

    TVANE_Object* shape = nullptr;
    const std::string outcome = LoadOnce(path, shape, true);
    // A second load of the same file starts afresh and gives the same, also
    // when every value goes through the token path.
    TVANE_Object* again = nullptr;
    FUZZ_CHECK(LoadOnce(path, again, false) == outcome);
    VANE->FreeSuf(again);
    // Through a window of a few bytes, which cuts lines, words and values
    // everywhere, reading gives the same on either path.
    const std::size_t window = size == 0 ? 1 : 1 + data[size - 1] % 16;
    FUZZ_CHECK(LoadOnce(path, again, true, window) == outcome);
    VANE->FreeSuf(again);
    FUZZ_CHECK(LoadOnce(path, again, false, 1) == outcome);
    VANE->FreeSuf(again);
    // Read in pieces of a few bytes, which begin inside comments and after
    // every kind of line end, as on several cores, through windows of a few
    // bytes and through one that holds the file: the same again.
    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 8;
    FUZZ_CHECK(LoadOnce(path, again, true, window, piece) == outcome);
    VANE->FreeSuf(again);
    FUZZ_CHECK(LoadOnce(path, again, true, kWindowBytes, piece * 64) == outcome);
    VANE->FreeSuf(again);
    if (shape == nullptr) {
        FUZZ_CHECK(RecordBlocksInUse() == 0);  // what a failed load built is released
        return 0;
    }

    CheckReadShape(shape);
    CheckCopy(shape);
#ifdef PLIVRA_FUZZ_WRITER
    CheckWrite(shape);
#endif
    VANE->FreeSuf(shape);
    FUZZ_CHECK(shape == nullptr);
    // Records come from blocks that only LeakSanitizer's view of the heap
    // would show; with every shape released none may be in use.
    FUZZ_CHECK(RecordBlocksInUse() == 0);
    return 0;
}
