#include "polling/PollItem.h"

#include "corrector/ReadQueue.h"

namespace tarn::polling {

namespace {

int flagPosition(PollItem item) {
    return static_cast<int>(item);
}

// The item's row in the name tables, which run in polling order.
std::size_t nameRow(PollItem item) {
    return static_cast<std::size_t>(flagPosition(item) - flagPosition(PollItem::Hourly));
}

} // namespace

bool itemFlagged(const QString& flags, PollItem item) {
    const int position = flagPosition(item);
    return flags.size() >= position && flags.at(position - 1) == QLatin1Char('1');
}

std::optional<PollItem> itemAfter(PollItem item) {
    if (item == PollItem::Service) return std::nullopt;
    return static_cast<PollItem>(flagPosition(item) + 1);
}

QString itemName(PollItem item) {
    static const char* const kNames[] = {"часовой архив",
                                         "суточный архив",
                                         "месячный архив",
                                         "аварийный архив",
                                         "оперативный архив",
                                         "запись параметров газа",
                                         "коррекция текущего времени",
                                         "архив вмешательств",
                                         "мгновенные",
                                         "служебный архив"};
    return QString::fromUtf8(kNames[nameRow(item)]);
}

QString itemFixedName(PollItem item) {
    static const char* const kNames[] = {"часовой архив     ", "суточный архив    ",    "месячный архив    ",
                                         "аварийный архив   ", "оперативный архив ",    "запись парам. газа",
                                         "корр.текущ.времени", "архив вмешательств   ", "мгновенные        ",
                                         "спец архив        "};
    return QString::fromUtf8(kNames[nameRow(item)]);
}

int archiveKindOfItem(PollItem item) {
    using namespace corrector::read_kind;
    switch (item) {
    case PollItem::Hourly:
        return Hourly;
    case PollItem::Daily:
        return Daily;
    case PollItem::Monthly:
        return Monthly;
    case PollItem::Alarm:
        return Alarm;
    case PollItem::Operative:
        return Operative;
    case PollItem::Interference:
        return Interference;
    case PollItem::Service:
        return Service;
    case PollItem::Gas:
    case PollItem::Clock:
    case PollItem::Measurement:
        return 0;
    }
    return 0;
}

std::optional<PollItem> nextItemOfFlags(const QString& flags, PollItem from) {
    for (std::optional<PollItem> item = from; item; item = itemAfter(*item))
        if (itemFlagged(flags, *item)) return item;
    return std::nullopt;
}

} // namespace tarn::polling
