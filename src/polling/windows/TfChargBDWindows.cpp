// The windows the console opens over itself: one of each kind at a time (a new one takes the place of
// the one open), all closed with the console.
#include "polling/windows/TfChargBD.h"

#include <QListWidget>
#include <QTableWidget>

namespace tarn::polling {

TfGroupStart* TfChargBD::openGroupStart(int groupIndex) {
    if (refuseWhileRunning()) return nullptr;
    const int index = groupIndex >= 0 ? groupIndex : groups_->currentRow();
    if (index < 0 || index >= run_.groups().size()) {
        notifier_.message(MessageKind::Warning, QStringLiteral("Не выбрана группа!!!"));
        return nullptr;
    }
    if (groupStart_) groupStart_->close();
    groupStart_ = new TfGroupStart(run_, root_, notifier_, index, this);
    groupStart_->setAttribute(Qt::WA_DeleteOnClose);
    groupStart_->open();
    return groupStart_;
}

TfGroupList* TfChargBD::openMemberList(int groupIndex) {
    const int index = groupIndex >= 0 ? groupIndex : groups_->currentRow();
    if (index < 0 || index >= run_.groups().size()) {
        notifier_.message(MessageKind::Warning, QStringLiteral("Не выбрана группа!!!"));
        return nullptr;
    }
    database::Storage& storage = run_.storage();
    if (!storage.schemas().ok) {
        notifier_.message(MessageKind::Error, storage.schemas().error);
        return nullptr;
    }
    if (memberList_) memberList_->close();
    memberList_ = new TfGroupList(root_, notifier_, this);
    memberList_->setAttribute(Qt::WA_DeleteOnClose);
    memberList_->selectPoint = [this](const QString& model, const QString& serial) {
        return selectPoint(model, serial);
    };
    memberList_->pollSelected = [this] { pollSelectedPoint(); };
    memberList_->showLastRecords = [this](const QString& identifier) { openLastRecords(identifier); };
    memberList_->showPointMenu = [this](const QPoint& at) { showPointMenu(at); };
    memberList_->open();
    memberList_->showGroup(storage, loadGroup(run_.groupFiles(), run_.groups().at(index).file));
    return memberList_;
}

TfLastRec* TfChargBD::openLastRecords(const QString& identifier) {
    QString id = identifier;
    if (id.isEmpty() && run_.selected >= 0 && run_.selected < run_.pointLines().size())
        id = run_.pointLines().at(run_.selected).right(10).trimmed();
    database::Storage& storage = run_.storage();
    if (!storage.schemas().ok) {
        notifier_.message(MessageKind::Error, storage.schemas().error);
        return nullptr;
    }
    if (lastRecords_) lastRecords_->close();
    auto* window = new TfLastRec(root_, notifier_, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // No point in the list: "В БД нет данных!!!".
    if (!window->showPoint(storage, id)) {
        delete window;
        return nullptr;
    }
    lastRecords_ = window;
    lastRecords_->open();
    return lastRecords_;
}

TfSet_Gr* TfChargBD::openConfigurator(bool newGroup) {
    if (refuseWhileRunning()) return nullptr;
    if (run_.pointLines().isEmpty()) {
        notifier_.message(MessageKind::Warning, QStringLiteral("Нет зарегистрированных приборов!!!"));
        return nullptr;
    }
    if (!run_.checks().contains(true)) {
        notifier_.message(MessageKind::Warning, QStringLiteral("Нет отмеченных приборов!!!"));
        return nullptr;
    }
    QString file;
    if (!newGroup) {
        const int row = groups_->currentRow();
        if (row < 0 || row >= run_.groups().size()) {
            notifier_.message(MessageKind::Warning, QStringLiteral("Не выбрана группа!!!"));
            return nullptr;
        }
        file = run_.groups().at(row).file;
    }
    if (configurator_) configurator_->close();
    configurator_ = new TfSet_Gr(run_, root_, notifier_, language_, file, this);
    configurator_->setAttribute(Qt::WA_DeleteOnClose);
    connect(configurator_, &TfSet_Gr::groupsChanged, this, [this](const QString& changed) {
        run_.reloadGroups();
        run_.buildSchedule(true, changed);
        showGroups();
        showState();
    });
    configurator_->open();
    return configurator_;
}

TfExchanges* TfChargBD::showRowExchanges(int row) {
    const int r = row >= 0 ? row : scheduleTable_->currentRow();
    const DaySchedule& schedule = run_.schedule();
    database::Storage& storage = run_.storage();
    ExchangesView view;
    if (r >= 0 && r < schedule.rows.size() && storage.schemas().ok)
        view = rowExchangesView(storage, run_.now().date(), schedule.rows.at(r), language_);
    else
        view.error = exchangesNoDataText(language_);
    return openExchanges(view, QStringLiteral("Обмены текущей строки таблицы"), TfExchanges::kRowWidth);
}

TfExchanges* TfChargBD::showDayExchanges() {
    database::Storage& storage = run_.storage();
    ExchangesView view;
    if (storage.schemas().ok)
        view = dayExchangesView(storage, run_.now().date(), language_);
    else
        view.error = exchangesNoDataText(language_);
    return openExchanges(view, QStringLiteral("Все обмены за текущие сутки"), TfExchanges::kDayWidth);
}

TfExchanges* TfChargBD::openExchanges(const ExchangesView& view, const QString& caption, int width) {
    if (!view.ok()) {
        notifier_.message(MessageKind::Error, view.error);
        return nullptr;
    }
    // One view at a time: a new one takes the place of the one open.
    if (exchanges_) exchanges_->close();
    exchanges_ = new TfExchanges(view, caption, width, this);
    exchanges_->setAttribute(Qt::WA_DeleteOnClose);
    exchanges_->show();
    return exchanges_;
}

void TfChargBD::closeWindowsOpenedHere() {
    if (configurator_) configurator_->close();
    if (groupStart_) groupStart_->close();
    if (exchanges_) exchanges_->close();
    if (memberList_) memberList_->close();
    if (lastRecords_) lastRecords_->close();
}

} // namespace tarn::polling
