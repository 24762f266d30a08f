#include "corrector/ReadQueue.h"

#include "common/Language.h"

namespace tarn::corrector {

bool isQueueableKind(int kind) {
    switch (kind) {
    case read_kind::Parameters:
    case read_kind::Hourly:
    case read_kind::Daily:
    case read_kind::Monthly:
    case read_kind::Alarm:
    case read_kind::Interference:
    case read_kind::Operative:
    case read_kind::Service:
    case read_kind::Version:
    case read_kind::Clock:
    case read_kind::Measurement:
    case read_kind::Voltage:
        return true;
    default:
        return false;
    }
}

QString ReadKindLabel(int kind, int languageIndex) {
    switch (kind) {
    case 1:
        return uaRu(languageIndex, "ЧИТАННЯ ПАРАМЕТРІВ", "ЧТЕНИЕ ПАРАМЕТРОВ");
    case 3:
        return uaRu(languageIndex, "ГОДИННИЙ АРХІВ", "ЧАСОВОЙ АРХИВ");
    case 4:
        return uaRu(languageIndex, "ДОБОВИЙ АРХІВ", "СУТОЧНЫЙ АРХИВ");
    case 5:
        return uaRu(languageIndex, "МІСЯЧНИЙ АРХІВ", "МЕСЯЧНЫЙ АРХИВ");
    case 6:
        return uaRu(languageIndex, "АВАРІЙНИЙ АРХІВ", "АВАРИЙНЫЙ АРХИВ");
    case 7:
        return uaRu(languageIndex, "АРХІВ ВТРУЧАННЯ", "АРХИВ ВМЕШАТЕЛЬСТВ");
    case 8:
        return uaRu(languageIndex, "СТАН АВАРІЇ", "СОСТОЯНИЕ АВАРИИ");
    case 9:
        return uaRu(languageIndex, "ОПЕРАТИВНИЙ АРХІВ", "ОПЕРАТИВНЫЙ АРХИВ");
    case 10:
        return uaRu(languageIndex, "СЛУЖБОВИЙ АРХІВ", "СЛУЖЕБНЫЙ АРХИВ");
    case 11:
        return uaRu(languageIndex, "ПОТОЧНА ГОДИННА", "ТЕКУЩИЙ ЧАС");
    case 12:
        return uaRu(languageIndex, "ЧИТАННЯ ВЕРСІЇ ПЗ", "ЧТЕНИЕ ВЕРСИИ ПО");
    case 14:
        return uaRu(languageIndex, "ЧИТАННЯ ГОДИННИК", "ЧТЕНИЕ ЧАСОВ");
    case 15:
        return uaRu(languageIndex, "ТИСК", "ДАВЛЕНИЕ");
    case 16:
        return uaRu(languageIndex, "НАПРУГ", "НАПРЯЖЕНИЕ");
    case 24:
        return uaRu(languageIndex, "ЧИТАТИ ВСЕ", "ЧИТАТЬ ВСЕ");
    case 26:
        return uaRu(languageIndex, "ВИБІРКОВЕ ЧИТАННЯ", "ВЫБОРОЧНОЕ ЧТЕНИЕ");
    default:
        return {};
    }
}

void ReadQueue::mark(int kind) {
    if (isQueueableKind(kind)) pending_[kind] = true;
}

void ReadQueue::fill(int requestedKind, const QString& readChoice) {
    pending_ = {};
    done_ = {};
    requestedKind_ = requestedKind;
    currentKind_ = 0;
    taken_ = 0;
    mark(read_kind::Parameters);
    switch (requestedKind) {
    case read_kind::ReadAll:
        for (std::size_t box = 0; box < kReadChoiceKinds.size(); ++box) {
            const auto i = static_cast<qsizetype>(box);
            if (i < readChoice.size() && readChoice.at(i) == QLatin1Char('1')) mark(kReadChoiceKinds[box]);
        }
        break;
    case read_kind::Selective:
        for (int kind : {read_kind::Hourly, read_kind::Daily, read_kind::Monthly, read_kind::Alarm,
                         read_kind::Interference})
            mark(kind);
        break;
    default:
        mark(requestedKind);
        break;
    }
}

bool ReadQueue::NextPendingKind() {
    for (int kind = 1; kind <= kMaxReadKind; ++kind) {
        if (!pending_[kind]) continue;
        pending_[kind] = false;
        done_[kind] = true;
        currentKind_ = kind;
        ++taken_;
        return false;
    }
    currentKind_ = 0;
    return true;
}

void ReadQueue::stop() {
    pending_ = {};
}

int ReadQueue::pendingCount() const {
    int n = 0;
    for (bool p : pending_)
        n += p ? 1 : 0;
    return n;
}

} // namespace tarn::corrector
