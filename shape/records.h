#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

// The 80-bit extended real of every coordinate, normal component and texture
// coordinate: a 64-bit mantissa.
using Extended = long double;
static_assert(std::numeric_limits<Extended>::digits == 64,
              "plivra needs long double to be the 80-bit extended real");

// An extended real as the records store it: its ten bytes, without the six
// bytes of padding a long double takes in memory. It reads as and is
// assigned from Extended, so all arithmetic stays in 80 bits; the value
// is the same bit for bit.
class alignas(2) TPackedExtended {
public:
    TPackedExtended() = default;
    // NOLINTNEXTLINE(google-explicit-constructor): stands in for Extended
    TPackedExtended(Extended Value) noexcept { Store(Value); }
    // NOLINTNEXTLINE(google-explicit-constructor)
    operator Extended() const noexcept { return Load(); }
    TPackedExtended& operator=(Extended Value) noexcept {
        Store(Value);
        return *this;
    }
    TPackedExtended& operator+=(Extended Value) noexcept { return *this = Load() + Value; }
    TPackedExtended& operator-=(Extended Value) noexcept { return *this = Load() - Value; }
    TPackedExtended& operator*=(Extended Value) noexcept { return *this = Load() * Value; }
    TPackedExtended& operator/=(Extended Value) noexcept { return *this = Load() / Value; }

private:
    // The x87 unit loads and stores exactly these ten bytes. Going through
    // a long double in memory instead, the compiler writes its parts with
    // two stores and reads them back with one load, which stalls.
    Extended Load() const noexcept {
        Extended value;
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
        asm("fldt %1" : "=t"(value) : "m"(bytes_));
#else
        std::memcpy(&value, bytes_, sizeof bytes_);
#endif
        return value;
    }
    void Store(Extended value) noexcept {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
        asm("fstpt %0" : "=m"(bytes_) : "t"(value) : "st");
#else
        std::memcpy(bytes_, &value, sizeof bytes_);
#endif
    }

    unsigned char bytes_[10] = {};
};
static_assert(sizeof(TPackedExtended) == 10);

// A point of three doubles: the camera's eye and view centre, and points of
// the perspective view.
struct TVANE_Point3 {
    double X = 0;
    double Y = 0;
    double Z = 0;
};

struct TVANE_Attribute;
struct TVANE_Polygon;
struct TVANE_Vertex;
struct TVANE_Object;

// A new object after Last, the end of a list (nullptr: the list is empty and
// Head becomes the new object). It starts with Last's attribute list, as
// each object of a file does.
TVANE_Object* AppendObject(TVANE_Object*& Head, TVANE_Object* Last);

// One object of a shape list. Objects form a doubly linked list; the holder
// keeps only the head.
struct TVANE_Object {
    TVANE_Object* Next = nullptr;
    TVANE_Object* Prev = nullptr;
    std::string Name;                   // bytes as they stand in the file
    TVANE_Polygon* Polygons = nullptr;  // first polygon, nullptr when none
    TPackedExtended MinX = 0, MinY = 0, MinZ = 0;  // box of the vertex positions
    TPackedExtended MaxX = 0, MaxY = 0, MaxZ = 0;
    TVANE_Attribute* Attributes = nullptr;  // newest first; may be shared with other objects
};

// The bytes of a name, read like a const std::string. Copies share one
// immutable buffer, so a long attribute name that thousands of copied
// objects use is held once. Reading it from several threads is safe.
class TSufName {
public:
    // Not explicit, either way: a name is given and read as a string.
    TSufName() = default;
    TSufName(std::string Bytes) : bytes_(std::make_shared<const std::string>(std::move(Bytes))) {}
    TSufName(const char* Bytes) : TSufName(std::string(Bytes)) {}

    const std::string& Bytes() const { return bytes_ != nullptr ? *bytes_ : Empty(); }
    operator const std::string&() const { return Bytes(); }
    operator std::string_view() const { return Bytes(); }
    std::size_t size() const { return Bytes().size(); }
    bool empty() const { return Bytes().empty(); }
    const char* data() const { return Bytes().data(); }

    friend bool operator==(const TSufName& A, std::string_view B) { return A.Bytes() == B; }

private:
    static const std::string& Empty() {
        static const std::string empty;
        return empty;
    }

    std::shared_ptr<const std::string> bytes_;
};

// One attribute name. Singly linked, newest first; the reader shares the
// records between the objects of one shape list.
struct TVANE_Attribute {
    TVANE_Attribute* Next = nullptr;
    TSufName Name;  // bytes as they stand in the file, shared with the copies of the record
};

// Primitive kinds, as stored in TVANE_Polygon::Kind.
enum : std::uint8_t {
    kKindPoly = 0,     // X Y Z
    kKindShade = 1,    // X Y Z NX NY NZ
    kKindUvPoly = 2,   // X Y Z U V
    kKindUvShade = 3,  // X Y Z NX NY NZ U V
};

// One polygon primitive of an object.
struct TVANE_Polygon {
    TVANE_Polygon* Next = nullptr;
    TVANE_Polygon* Prev = nullptr;
    TVANE_Attribute* Attribute = nullptr;  // record of the object's list, or nullptr
    std::uint8_t Kind = kKindPoly;         // 0..3
    TVANE_Vertex* Vertices = nullptr;      // first vertex, nullptr when none
    std::uint8_t Marked = 0;               // 1 when read from a file
};

// One vertex of a polygon.
struct TVANE_Vertex {
    TVANE_Vertex* Next = nullptr;
    TVANE_Vertex* Prev = nullptr;
    TPackedExtended X = 0, Y = 0, Z = 0;     // position
    TPackedExtended NX = 0, NY = 0, NZ = 0;  // normal, not necessarily of unit length
    TPackedExtended U = 0, V = 0;            // texture coordinates
    std::uint8_t Marked = 0;                 // 1 when read from a file
};
// Shapes of millions of vertices: each byte of a vertex is megabytes.
static_assert(sizeof(TVANE_Vertex) <= 104);
static_assert(sizeof(TVANE_Object) <= 128);
