#include "mapping/member_reference.h"

namespace iecstack::mapping {

namespace {

void appendAccess(std::string& out, const std::vector<mms::AccessSelection>& access,
                  char componentSeparator) {
    for (const mms::AccessSelection& step : access) {
        switch (step.kind) {
            case mms::AccessSelection::Kind::Component:
                out.push_back(componentSeparator);
                out.append(step.component);
                break;
            case mms::AccessSelection::Kind::Index:
                out.append("(" + std::to_string(step.index) + ")");
                break;
            case mms::AccessSelection::Kind::IndexRange: {
                // A count of 0 is malformed; it still gets a readable name rather than a wrapped index.
                const uint64_t last =
                    static_cast<uint64_t>(step.index) + (step.count > 0 ? step.count - 1 : 0);
                out.append("(" + std::to_string(step.index) + ".." + std::to_string(last) + ")");
                break;
            }
            case mms::AccessSelection::Kind::AllElements:
                out.append("(*)");
                break;
        }
    }
}

}  // namespace

std::string memberReference(std::string_view domain, std::string_view item,
                            const std::vector<mms::AccessSelection>& access) {
    std::string result(domain);
    result.push_back('/');
    const size_t first = item.find('$');
    const size_t second = first == std::string_view::npos ? first : item.find('$', first + 1);
    std::string_view fc;
    std::string_view rest;
    if (second == std::string_view::npos) {
        rest = item;
    } else {
        result.append(item.substr(0, first));
        fc = item.substr(first + 1, second - first - 1);
        rest = item.substr(second);
    }
    for (char c : rest) {
        result.push_back(c == '$' ? '.' : c);
    }
    appendAccess(result, access, '.');
    if (!fc.empty()) {
        result.push_back('[');
        result.append(fc);
        result.push_back(']');
    }
    return result;
}

std::string memberReference(const mms::VariableAccess& variable, std::string_view defaultDomain) {
    const std::string_view domain = variable.name.scope == mms::ObjectName::Scope::Domain
                                        ? std::string_view(variable.name.domainId)
                                        : defaultDomain;
    return memberReference(domain, variable.name.itemId, variable.path);
}

std::string variableReference(std::string_view domain, std::string_view item,
                              const std::vector<mms::AccessSelection>& access) {
    std::string result(domain);
    result.push_back('/');
    result.append(item);
    appendAccess(result, access, '$');
    return result;
}

std::string joinItemName(std::initializer_list<std::string_view> parts) {
    std::string joined;
    bool first = true;
    for (std::string_view part : parts) {
        if (!first) {
            joined.push_back('$');
        }
        joined.append(part);
        first = false;
    }
    return joined;
}

}  // namespace iecstack::mapping
