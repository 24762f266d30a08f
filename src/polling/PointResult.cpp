#include "polling/PointResult.h"
#include "polling/TextCells.h"

namespace tarn::polling {

namespace {

// What stands between the head and the tail of a result line.
enum class Subject { None, Group, Point, PhoneAndPoint };

struct Row {
    PointResult result;
    const char* head;
    Subject subject;
    const char* tail;
    LineColour colour;
    const char* join;
    bool beforeLine;
};

constexpr Row kRows[] = {
    {PointResult::GroupStarted, "*СТАРТ* группы   - ", Subject::Group, "", LineColour::Black, "", false},
    {PointResult::PointStarted, "*СТАРТ* прибора - ", Subject::Point, "", LineColour::Black, "", false},
    {PointResult::ExchangeFailed, "*БРАК*  прибора - ", Subject::Point, "", LineColour::Red,
     "ошибка обмена с прибором", false},
    {PointResult::Normal, "*НОРМА* прибора - ", Subject::Point, "", LineColour::Blue, "норма", false},
    {PointResult::DispatcherModemLost, "*НЕТ СВЯЗИ С МОДЕМОМ ДИСПЕТЧ.*", Subject::None, "", LineColour::Red,
     "", false},
    {PointResult::NoModemAnswer, "*НЕТ СВЯЗИ С МОДЕМОМ - ", Subject::PhoneAndPoint, "", LineColour::Red,
     "нет связи с модемом", true},
    {PointResult::NoItems, "*СТОП*  прибор - ", Subject::Point, " нет заданий!!!", LineColour::Red,
     "нет заданий", true},
    {PointResult::NoPhoneNumber, "*СТОП*  прибор - ", Subject::Point, " нет номера телефона!!!",
     LineColour::Red, "нет номера телефона", true},
    {PointResult::NoLinkKind, "*СТОП*  прибор - ", Subject::Point, " не определен вид связи!!!",
     LineColour::Red, "не определен вид связи", true},
};

} // namespace

PointResultInfo pointResultInfo(PointResult result, const QString& group, const QString& point,
                                const QString& phone) {
    for (const Row& r : kRows) {
        if (r.result != result) continue;
        QString subject;
        switch (r.subject) {
        case Subject::None:
            break;
        case Subject::Group:
            subject = quoted(group);
            break;
        case Subject::Point:
            subject = quoted(point);
            break;
        case Subject::PhoneAndPoint:
            subject = quoted(phone) + QStringLiteral(" * коррект. - ") + quoted(point);
            break;
        }
        return {QString::fromUtf8(r.head) + subject + QString::fromUtf8(r.tail), r.colour,
                QString::fromUtf8(r.join), r.beforeLine};
    }
    return {{}, LineColour::Black, {}, false};
}

} // namespace tarn::polling
