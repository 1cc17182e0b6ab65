#include "cli/picture.h"

#include "cli/arguments.h"
#include "view/settings.h"

namespace {

struct TViewName {
    std::string_view Name;
    std::uint8_t Kind;
};
constexpr TViewName kViews[] = {{"xy", kViewXY},
                                {"yz", kViewYZ},
                                {"zx", kViewZX},
                                {"perspective", kViewPerspective}};

}  // namespace

bool ParseView(std::string_view Text, std::uint8_t& Kind) {
    for (const TViewName& view : kViews) {
        if (Text == view.Name) {
            Kind = view.Kind;
            return true;
        }
    }
    return false;
}

bool ParseSize(std::string_view Text, std::int32_t& Width, std::int32_t& Height) {
    const std::size_t x = Text.find('x');
    if (x == std::string_view::npos) return false;
    return ParseWholeNumber(Text.substr(0, x), Width) && ParseWholeNumber(Text.substr(x + 1), Height) &&
           Width >= 1 && Width <= kMaxPictureSide && Height >= 1 && Height <= kMaxPictureSide;
}
