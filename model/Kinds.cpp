#include "Kinds.h"

namespace quorix {

const std::array<QByteArray, GroupCount> groupNames = {
    QByteArray("none"),    QByteArray("Family"),     QByteArray("VIP"),
    QByteArray("Friends"), QByteArray("Colleagues"), QByteArray("Other"),
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

int groupIndex(const QByteArray& name) {
    for (int i = 1; i < GroupCount; ++i)
        if (groupNames[i] == name)
            return i;
    return -1;
}

} // namespace quorix
