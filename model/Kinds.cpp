#include "Kinds.h"

namespace quorix {

const std::array<QString, GroupCount> groupNames = {
    QStringLiteral("none"),    QStringLiteral("Family"),     QStringLiteral("VIP"),
    QStringLiteral("Friends"), QStringLiteral("Colleagues"), QStringLiteral("Other"),
};

const char* kindName(int kind) {
    switch (kind) {
    case KindNameCollapsed:
    case KindNameExpanded:
        return "Name";
    case KindGeneral:
        return "General";
    case KindMobile:
        return "Mobile";
    case KindHome:
        return "Home";
    case KindOffice:
        return "Office";
    case KindFax:
        return "Fax";
    case KindEMail:
        return "E-Mail";
    case KindPostalAddress:
        return "Postal Address";
    case KindNote:
        return "Note";
    case KindCallerGroup:
        return "Caller group";
    default:
        return "Unknown";
    }
}

int groupIndex(const QString& name) {
    for (int i = 1; i < GroupCount; ++i)
        if (groupNames[i] == name)
            return i;
    return -1;
}

} // namespace quorix
