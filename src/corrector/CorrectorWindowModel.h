#pragma once
// The corrector window without its widgets: which fields a model has, which are editable at the access
// level, and what Enter, F5, a key release, a menu item or a reply does. What the window shows is its
// Reading; requests leave through ParameterLink and the engine reports the replies back through the on*
// methods.
#include "common/Clock.h"
#include "common/Notifier.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/Fields.h"
#include "corrector/ParameterLink.h"
#include "corrector/Reading.h"
#include "link/LinkSettings.h"
#include "link/Transfer.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>
#include <optional>

namespace tarn::corrector {

inline constexpr int kPasswordSlots = 7; // operator A, B, C, master E, F, configurator, verifier
inline constexpr int kFirstPasswordItem = 48;
inline constexpr int kFirstPasswordChangeItem = 55;

struct CorrectorWindowState {
    int accessLevel = kAccessNone;
    std::array<bool, kPasswordSlots> passwordMarks{};
    int pendingItem = 0;
    QString pendingCaption;
    bool pendingIsWrite = false;
    quint16 nextWord = 0;
    QString pressureUnitText;
};

QString PageCaption(int page, int languageIndex);
// F5: the next tab page, after the ninth the first.
int NextPage(int page);

// The field editability at the level, with the model exceptions of Qmin, Qmax, Qtrn, Qtrs, the meter
// counter, the meter serial number and the typesize.
bool isItemEditable(int item, int accessLevel, const ModelProfile& profile);

struct FieldView {
    QString text;
    bool visible = true;
    bool editable = false;
};

struct PasswordWindowView {
    std::array<bool, kPasswordSlots> changeEnabled{};
    bool confirmationEnabled = false;
    bool restartEnabled = false;
};

// What Enter in a field leads to.
enum class EnterAction { Nothing, Read, Write };

// How the last item read or write ended, for the callers that wait on it (tarn-cli, the polling run).
struct ItemOutcome {
    enum class Result {
        None,
        Running,
        Done,           // read and decoded, or written (and read back)
        Refused,        // the corrector refused it; message says why
        WrongCorrector, // the reply carried another corrector's serial number
        NoReply,        // silent on every send
        NoLink,         // the port is missing or failed
    };
    Result result = Result::None;
    int item = 0;
    QString text;    // the decoded value of a read
    QString message; // the refusal as the user reads it
};

class CorrectorWindowModel final : public QObject {
    Q_OBJECT
public:
    CorrectorWindowModel(ParameterLink& link, Notifier& notifier, const link::LinkSettings& settings,
                         int languageIndex, QObject* parent = nullptr);

    const CorrectorWindowState& state() const { return state_; }
    // What the window shows: the data of the corrector, the file or the zone last taken.
    const Reading& reading() const { return reading_; }
    int languageIndex() const { return reading_.languageIndex; }
    void setLanguageIndex(int languageIndex);

    FieldView view(Field field) const {
        const FieldShown& shown = shown_[static_cast<int>(field)];
        return {reading_.text(field), shown.visible, shown.editable};
    }
    QString text(Field field) const { return reading_.text(field); }
    // The caption in the language, with the pressure unit and the heat unit where they belong.
    QString caption(Field field) const;
    // "Номер корректора" or, on calibration models, "Номер комплекса".
    QString headerCaption() const;
    bool calibrationHeaderShown() const { return reading_.header.calibration(); }
    // Thermometer radio group: W100 = 1.385 when ConfigBits 0x80 is set.
    bool thermometerW1385() const { return thermometer1385_; }
    // The header holds the corrector serial number of the data shown.
    bool hasSerial() const { return reading_.hasSerial(); }

    // The model profile of the identification (the operation start sets it; a kind-12 reply also does).
    void setProfile(const ModelProfile& profile);
    // The identification the profile came from; the files keep it as the software-version line.
    void setIdentification(const IdentificationString& identification) {
        reading_.identification = identification;
    }
    const IdentificationString& identification() const { return reading_.identification; }
    // The read kinds 1..27 whose data the window holds (the files keep them as the "done" line).
    bool kindRead(int kind) const { return reading_.kindRead(kind); }
    void markKindRead(int kind, bool read = true) { reading_.markKindRead(kind, read); }
    // A reading made elsewhere (a file, a transfer unit's zone) takes the place of what the window held;
    // the access level reached stays. A reading whose parameters are complete is shown as after a full
    // read, in the window's units.
    void showReading(const Reading& reading);
    // Where the data shown came from.
    void setSource(SourceKind source) { reading_.source = source; }
    // Loading into the window directly: the image and the texts, then the window is filled from the
    // image as after a full read. The serial number is word 99's.
    ParameterImage& imageForLoading() { return reading_.image; }
    void setLoadedText(Field field, const QString& text) { setText(field, text); }
    void finishLoading();
    // Unit buttons of the gauge and barometric pressure panels.
    void setGaugeUnit(GaugeUnit unit);
    void setBaroUnit(BaroUnit unit);
    GaugeUnit gaugeUnit() const { return gaugeUnit_; }
    BaroUnit baroUnit() const { return baroUnit_; }
    void setPollingRun(bool on) { pollingRun_ = on; }
    void setModemConnected(bool on) { modemConnected_ = on; }

    void ClearWindow();
    void SetAccessLevel(int level);

    // Full parameter read.
    void StartFullRead();
    void onPageAccepted(quint16 word, const QByteArray& payload);
    void onFullReadComplete();

    // Enter in a field: an editable field writes, a read-only one reads again.
    EnterAction enterActionFor(Field field) const;
    void onEnter(Field field, const QString& text);
    // Enter in the date or the time field: item 16 with both fields.
    void onDateTimeEnter(const QString& dateText, const QString& timeText);
    // Key release in the date or the time field: a field of blanks and separators gets the current
    // date or time. Returns the two texts to show.
    std::pair<QString, QString> onDateTimeKeyRelease(const QString& dateText, const QString& timeText,
                                                     const QDateTime& now);
    // Key release in an item field: how the typed text checks (the window colours the field's font with
    // it). Fields that are not editable, and items that are not numbers, always check valueOk.
    CheckResult fieldCheck(Field field, const QString& text) const;
    // Key release in the contract-hour field: a blank field becomes "09:00".
    QString onContractHourKeyRelease(const QString& text) const;

    void ReadItem(int item, const QString& caption);
    // Returns true when the write went out.
    bool WriteItem(int item, const QString& text, const QString& caption, bool confirm = true);
    // The bytes WriteItem would send for text, or its refusal (a list value not in the connected model's
    // list, a time or date that is none, a number out of range): for a caller that must know before
    // anything else goes to the corrector.
    EncodedItem encodeItemWrite(int item, const QString& text) const;

    // Engine replies.
    void onItemReply(const QByteArray& payload);
    // A write reply with status 0: OnItemWriteAccepted runs afterWriteDelayMs later (at once when 0).
    void onItemWriteReply();
    // The step after an accepted write: the access level of a password, the read-back of a parameter.
    void OnItemWriteAccepted();
    // A single-item transfer ended with a refusal, without a reply or without a link.
    void onTransferFailed(const link::Failure& failure = {});
    void onBlockReply(int kind, const QByteArray& payload);

    // The item transfer and the steps after it (a write's read-back) are still under way.
    bool itemTransferPending() const { return lastItem_.result == ItemOutcome::Result::Running; }
    const ItemOutcome& lastItem() const { return lastItem_; }
    // The archive tables of the last read; storing and the reports read them cell by cell.
    const ArchiveTables& archives() const { return reading_.archives; }
    ArchiveTables& archives() { return reading_.archives; }
    // What the archive decoders need: the profile and the image of the last parameter read.
    ArchiveContext archiveContext() const;
    // F3 in an archive table: the row of the archive's newest record (its pointer), when the table reaches
    // it; nothing when the pointer lies before the first row or beyond the table.
    std::optional<int> newestRecordRow(Archive archive) const;
    // The rows of an archive have changed (a page was taken).
    void archivePageTaken(Archive archive) { emit archiveChanged(archive); }
    // Archive volumes are shown with the installation's decimals (loadVolumePrecision).
    int volumeDecimals() const { return reading_.volumeDecimals; }
    void setVolumeDecimals(int decimals) { reading_.volumeDecimals = decimals; }
    // The clock block last read (kind 14).
    const std::optional<ClockBlock>& clock() const { return reading_.clock; }
    // The instantaneous measurement of the last reading, when one was taken.
    const std::optional<MeasurementBlock>& measurement() const { return reading_.measurement; }
    // The value of an item as the image holds it ("X" before it was read).
    QString itemText(int item) const { return itemTextFromImage(item); }

    // The password window. EnterPassword and ChangePassword return true when the window is to close.
    PasswordWindowView passwordWindowView() const;
    bool EnterPassword(int slot, const QString& text);
    bool ChangePassword(int slot, const QString& text, const QString& confirmation);
    void CloseAccess();
    bool RestartCorrector();

    int afterWriteDelayMs = 700;
    // The clock of that pause: the session's link (none for a model without a link: Qt's own timer).
    void setTimerClock(Clock& clock) { timerClock_ = &clock; }

signals:
    void changed();
    void archiveChanged(Archive archive);
    // The item transfer and the steps after it are over (lastItem says how).
    void itemTransferEnded();
    // The wait window opens with its caption; it closes some time after waitReplied.
    void waitOpened(const QString& caption);
    void waitReplied();

private:
    Clock* timerClock_ = nullptr;
    ItemContext context() const;
    QString itemCaption(int item) const;
    QString noDataMessage() const;
    void setText(Field field, const QString& text);
    void refillFromImage();
    void applyVisibility();
    void applyEditability();
    // The window's own marks that follow the image: the thermometer group and the pressure unit.
    void takeImageMarks();
    // Every archive table and every field may have changed.
    void announceAll();
    // The header holds a serial number and shows it: writes and passwords may go out.
    bool dataShown() const;
    QString itemTextFromImage(int item) const;
    const ParameterImage& image() const { return reading_.image; }
    const ModelProfile& profile() const { return reading_.profile; }
    bool sendItemWrite(int item, const QString& text, const QString& caption);
    void openWait(bool write, const QString& caption);
    void endItem(ItemOutcome::Result result, const QString& text = {}, const QString& message = {});

    ParameterLink& link_;
    Notifier& notifier_;
    const link::LinkSettings& settings_;
    Reading reading_;
    CorrectorWindowState state_;
    struct FieldShown {
        bool visible = true;
        bool editable = false;
    };
    std::array<FieldShown, kFieldCount> shown_;
    bool thermometer1385_ = false;
    bool pollingRun_ = false;
    bool modemConnected_ = false;
    bool readBack_ = false;
    ItemOutcome lastItem_;
    GaugeUnit gaugeUnit_ = GaugeUnit::KgfCm2;
    BaroUnit baroUnit_ = BaroUnit::KgfCm2;
};

// The window loads a file: what it held gives way to the file's reading and the access level reached
// stays. A file that stops loading leaves the window cleared and its access closed.
FileOutcome loadParameterFile(CorrectorWindowModel& model, const QString& path, Notifier& notifier,
                              const FileProgress& progress = {});
// False, with the window as it was, when the file cannot be opened.
bool loadPointParameterFile(CorrectorWindowModel& model, const QString& path, Notifier& notifier);

} // namespace tarn::corrector
