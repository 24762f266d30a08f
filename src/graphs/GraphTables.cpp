#include "graphs/GraphTables.h"

namespace tarn::graphs {

using database::TableKind;

std::optional<GraphArchive> graphArchiveOf(int kind) {
    if (kind < 1 || kind > kGraphArchives) return std::nullopt;
    return static_cast<GraphArchive>(kind);
}

QString graphArchiveChoice(GraphArchive archive) {
    switch (archive) {
    case GraphArchive::Hourly:
        return QStringLiteral("Часовой");
    case GraphArchive::Daily:
        return QStringLiteral("Суточный");
    case GraphArchive::Monthly:
        return QStringLiteral("Месячный");
    case GraphArchive::Operative:
        return QStringLiteral("Оперативный");
    case GraphArchive::Measurement:
        return QStringLiteral("Мгновенный");
    case GraphArchive::FlowClasses:
        return QStringLiteral("Расход по часовому архиву");
    }
    return {};
}

TableKind graphTable(GraphArchive archive) {
    switch (archive) {
    case GraphArchive::Daily:
        return TableKind::Daily;
    case GraphArchive::Monthly:
        return TableKind::Monthly;
    case GraphArchive::Operative:
        return TableKind::Operative;
    case GraphArchive::Measurement:
        return TableKind::Measurement;
    case GraphArchive::Hourly:
    case GraphArchive::FlowClasses:
        break;
    }
    return TableKind::Hourly;
}

QList<GraphParameter> graphParameters(GraphArchive archive) {
    static const QList<GraphParameter> kVolumes = {
        {"Vраб", "Vwrk", 1, 1},     {"Vстанд", "Vst", 1, 2}, {"Vавр", "Valwrk", 1, 3},
        {"Vст.авр", "Valst", 1, 4}, {"P", "P", 4, 5},        {"T(град.С)", "T", 2, 6},
        {"Ксжим", "Ksg", 5, 7},     {"Ккорр", "Kkor", 5, 8},
    };
    static const GraphParameter kWorkingTotal{"Vсум.раб", "Vwrk_alwrk", 1, 11};
    static const GraphParameter kStandardTotal{"Vсум.ст.", "Vst_alwrk", 1, 12};
    switch (archive) {
    case GraphArchive::Hourly:
        return kVolumes + QList<GraphParameter>{kWorkingTotal, kStandardTotal};
    case GraphArchive::Daily:
    case GraphArchive::Monthly:
        return kVolumes + QList<GraphParameter>{{"Vобщ", "Vmeter", 1, 9}, kWorkingTotal, kStandardTotal};
    case GraphArchive::Operative:
        return {{"P", "P", 4, 5},
                {"T(град.С)", "T", 2, 6},
                {"Ккорр", "Kkor", 4, 8},
                {"Q раб.", "Qwrk", 3, 10},
                {"Vобщ", "Vmeter", 1, 9}};
    case GraphArchive::Measurement:
        return {{"P", "P", 4, 5},
                {"T(град.С)", "T", 2, 6},
                {"Ккорр", "Kkor", 4, 8},
                {"Ксжим", "Ksg", 4, 7},
                {"Q раб.", "Qwrk", 3, 10},
                {"Q стд.", "Qstd", 3, 13},
                {"Батарея", "Battery", 1, 14}};
    case GraphArchive::FlowClasses:
        break;
    }
    return {};
}

const std::array<ColourSlot, kColourSlots>& colourSlots() {
    static const std::array<ColourSlot, kColourSlots> kSlots = {{
        {"Vраб", "Vраб", 0xFF00FF},
        {"Vстанд", "Vстанд", 0xFFFF00},
        {"Vавр", "Vвнш", 0x800000},
        {"Vст.авр", "Vст.внш", 0x00FFFF},
        {"P", "P", 0xFF0000},
        {"T(град.С)", "T(град.С)", 0x0000FF},
        {"Ксжим", "Ксжим", 0x800080},
        {"Ккорр", "Ккорр", 0x00FF00},
        {"Vобщ", "Vобщ", 0x008000},
        {"Q раб.", "Qраб.", 0x808000},
        {"Vсум.раб", "Vсум.раб", 0x000080},
        {"Vсум.ст.", "Vсум.ст.", 0x008080},
        {"Q стд.", "Qстд.", 0x000080},
        {"Батарея", "Батарея", 0x008080},
    }};
    return kSlots;
}

const std::array<quint32, kStandardColours>& standardColours() {
    static const std::array<quint32, kStandardColours> kColours = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
        0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    return kColours;
}

std::optional<int> standardColourIndex(quint32 bgr) {
    const auto& list = standardColours();
    for (int i = 0; i < kStandardColours; ++i)
        if (list[static_cast<std::size_t>(i)] == bgr) return i;
    return std::nullopt;
}

const std::array<GroupParameter, kGroupParameters>& groupParameters() {
    static const std::array<GroupParameter, kGroupParameters> kList = {{
        {"Vраб", "Vраб", 1, 2},
        {"Vстд", "Vстд", 2, 3},
        {"Vвнш", "Vавр", 3, 4},
        {"Vстд.внш", "Vстд.авр", 4, 5},
        {"Vраб+Vвнш", "Vсум.раб", 11, 6},
        {"Vстд.+ст.внш", "Vсум.ст.", 12, 7},
    }};
    return kList;
}

} // namespace tarn::graphs
