#pragma once
// What a graph can show: the archive kinds, the parameters of each with their fields, decimals and
// colour slots, the fourteen colour slots with their default colours, and the group parameters.
// Colours are kept as 0x00BBGGRR values.
#include "common/BgrColour.h"
#include "database/Schema.h"

#include <QColor>
#include <QList>
#include <QString>
#include <array>
#include <optional>

namespace tarn::graphs {

enum class GraphArchive { Hourly = 1, Daily, Monthly, Operative, Measurement, FlowClasses };
inline constexpr int kGraphArchives = 6;
std::optional<GraphArchive> graphArchiveOf(int kind); // 1..6

// "Часовой", "Суточный", … as the dialogs offer them.
QString graphArchiveChoice(GraphArchive archive);
// The table the archive is drawn from (the flow classes come from the hourly records).
database::TableKind graphTable(GraphArchive archive);

struct GraphParameter {
    const char* name;  // as listed and in the legend
    const char* field; // the value field without the table's prefix ("Vwrk")
    int decimals;      // in the legend
    int slot;          // colour slot 1..14
};
// The parameters of an archive in list order; none for the flow classes.
QList<GraphParameter> graphParameters(GraphArchive archive);

// Line series for the parameters; the k-th ticked parameter draws in series k.
inline constexpr int kLineSeries = 11;

inline constexpr int kColourSlots = 14;
struct ColourSlot {
    const char* name;  // the parameter drawn in it
    const char* label; // in the colour dialog
    quint32 colour;    // default, 0x00BBGGRR
};
const std::array<ColourSlot, kColourSlots>& colourSlots();

// The standard colour list the colour boxes offer, by index: black, maroon, green, olive, navy, purple,
// teal, gray, silver, red, lime, yellow, blue, fuchsia, aqua, white.
inline constexpr int kStandardColours = 16;
const std::array<quint32, kStandardColours>& standardColours();
// The index of a colour in the standard list; nothing for another colour.
std::optional<int> standardColourIndex(quint32 bgr);

// The group graphs' fixed parameters: the dialog's name, the legend's, the colour slot and the column of
// the group summary's interval table.
struct GroupParameter {
    const char* name;
    const char* legend;
    int slot;
    int column;
};
inline constexpr int kGroupParameters = 6;
const std::array<GroupParameter, kGroupParameters>& groupParameters();
inline constexpr int kGroupDecimals = 1;

} // namespace tarn::graphs
