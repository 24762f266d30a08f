#pragma once
// What a point is polled for, item by item, and how its polling flags ask for each.
#include <QString>
#include <optional>

namespace tarn::polling {

// The items of a point in the order they are polled. Each one's number is the position (from 1) of its
// flag among the point's polling flags as the registry and the request log keep them, so the numbers
// stay; the first flag is no item.
enum class PollItem {
    Hourly = 2,
    Daily = 3,
    Monthly = 4,
    Alarm = 5,
    Operative = 6,
    Gas = 7,
    Clock = 8,
    Interference = 9,
    Measurement = 10,
    Service = 11,
};
// The item's flag in a flags string ("1" asks for it); false when the string is too short to hold it.
bool itemFlagged(const QString& flags, PollItem item);
// The item polled after this one; nothing after the service archive.
std::optional<PollItem> itemAfter(PollItem item);
QString itemName(PollItem item); // "часовой архив" …
QString itemFixedName(PollItem item); // "часовой архив     " … (18 characters, the interference name 21)
// The read kind of an archive item; 0 for the others.
int archiveKindOfItem(PollItem item);

// The first item at or after from that the flags ask for; nothing when none is left.
std::optional<PollItem> nextItemOfFlags(const QString& flags, PollItem from);

} // namespace tarn::polling
