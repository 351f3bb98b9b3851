#include "continued_parts.h"

namespace vantrel {

bool isFirstPart(std::string_view nameOrPath) {
    return nameOrPath.size() >= 6 && nameOrPath.substr(nameOrPath.size() - 6) == "_1.EVO";
}

bool isFirstPartAnyCase(std::string_view nameOrPath) {
    return isFirstPart(nameOrPath) ||
           (nameOrPath.size() >= 6 && nameOrPath.substr(nameOrPath.size() - 6) == "_1.evo");
}

std::string secondPartPath(std::string_view firstPartPath) {
    std::string next(firstPartPath.size() > 5 ? firstPartPath.substr(0, firstPartPath.size() - 5)
                                              : std::string_view());
    next += firstPartPath.ends_with(".evo") ? "2.evo" : "2.EVO";
    return next;
}

std::string continuedBase(std::string_view base) {
    std::string continued(base);
    continued += "_2";
    return continued;
}

} // namespace vantrel
